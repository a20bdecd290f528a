#include "HeadlessLauncher.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "ExitStatus.h"

#ifndef TARNWICK_HEADLESS_FROM_BINDIR
#error "TARNWICK_HEADLESS_FROM_BINDIR must be defined by the build"
#endif

namespace tarnwick {

namespace {
constexpr char kHeadlessName[] = "tarnwick-headless";
}  // namespace

int execHeadlessLogger(char** argv) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path folder = self.parent_path();
    // Beside the binary in a build tree; else where the package installs it
    // (the same path from the binaries' folder as at build time).
    std::filesystem::path headless = folder / kHeadlessName;
    if (::access(headless.c_str(), X_OK) != 0)
        headless = (folder / TARNWICK_HEADLESS_FROM_BINDIR / kHeadlessName).lexically_normal();
    const std::string path = headless.string();
    argv[0] = const_cast<char*>(path.c_str());
    ::execv(path.c_str(), argv);
    const int failure = errno;
    std::fprintf(stderr, "<3>tarnwick: cannot start the headless logger %s: %s\n", path.c_str(),
                 std::strerror(failure));
    if (failure == ENOENT) {
        // A build tree holds the programs in BUILD/src/app; a package always has it.
        const std::filesystem::path build = folder.parent_path().parent_path();
        std::fprintf(stderr,
                     "<3>tarnwick: it is built beside tarnwick: cmake --build %s --target "
                     "tarnwick-headless (an installed tarnwick: reinstall the package)\n",
                     build.c_str());
    }
    return kFailureExitStatus;
}

}  // namespace tarnwick
