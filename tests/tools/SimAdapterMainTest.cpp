// The tarnwick-simadapter executable, run as a child process.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "SimTestSupport.h"

namespace tarnwick::test {

namespace {

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;  // the child's stdout
    FILE* err = nullptr;  // the child's stderr

    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out) std::fclose(out);
        if (err) std::fclose(err);
    }

    // Runs the executable with `args`; stdout and stderr come through `out` and `err`.
    bool spawn(std::vector<std::string> args) {
        int outFds[2], errFds[2];
        if (::pipe(outFds) != 0 || ::pipe(errFds) != 0) return false;
        args.insert(args.begin(), SIMADAPTER_EXE);
        pid = ::fork();
        if (pid == 0) {
            ::dup2(outFds[1], STDOUT_FILENO);
            ::dup2(errFds[1], STDERR_FILENO);
            for (int fd : {outFds[0], outFds[1], errFds[0], errFds[1]}) ::close(fd);
            ::setenv("LC_ALL", "C", 1);  // the system's reasons in English
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(outFds[1]);
        ::close(errFds[1]);
        out = ::fdopen(outFds[0], "r");
        err = ::fdopen(errFds[0], "r");
        return pid > 0 && out && err;
    }

    // Everything `stream` carries until the child closes it.
    static std::string readAll(FILE* stream) {
        std::string text;
        char buffer[1024];
        while (std::fgets(buffer, sizeof buffer, stream)) text += buffer;
        return text;
    }
    std::string readAll() { return readAll(out); }

    // Exit status, or -1 when it did not exit normally.
    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

}  // namespace

TEST(SimAdapterExecutable, ServesUntilSigtermAndLogsEachRequest) {
    const auto log = std::filesystem::temp_directory_path() /
                     ("simadapter-exe-" + std::to_string(::getpid()) + ".log");
    std::filesystem::remove(log);
    Child child;
    ASSERT_TRUE(child.spawn({"--port", "0", "--conversion-ms", "0", "--temperature",
                             "9C000000B4A89828=25.0625", "--fault", "lock:missing-field:count=1",
                             "--log", log.string()}));
    char line[256] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, child.out));
    int port = 0;
    ASSERT_EQ(std::sscanf(line, "listening on http://127.0.0.1:%d", &port), 1) << line;
    ASSERT_GT(port, 0);

    httplib::Client c("127.0.0.1", port);
    auto first = c.Get("/1Wire/GetLock.html");
    ASSERT_TRUE(first);
    EXPECT_FALSE(field(first->body, "LockID_0").has_value()) << "--fault was applied";
    auto lockPage = c.Get("/1Wire/GetLock.html");
    ASSERT_TRUE(lockPage);
    const std::string id = field(lockPage->body, "LockID_0").value_or("");
    c.Get("/1Wire/WriteBlock.html?Data=44&Address=9C000000B4A89828&LockID=" + id);
    auto read = c.Get("/1Wire/WriteBlock.html?Data=" + kReadData +
                      "&Address=9C000000B4A89828&LockID=" + id);
    ASSERT_TRUE(read);
    EXPECT_EQ(field(read->body, "ResultData_0"), "BE91014B467FFF0C1070");

    ASSERT_EQ(::kill(child.pid, SIGTERM), 0);
    EXPECT_EQ(child.wait(), 0);

    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(24), " /1Wire/GetLock.html");
    EXPECT_EQ(lines[2].substr(24),
              " /1Wire/WriteBlock.html?Data=44&Address=9C000000B4A89828&LockID=" + id);
    std::filesystem::remove(log);
}

TEST(SimAdapterExecutable, SigintStopsItToo) {
    Child child;
    ASSERT_TRUE(child.spawn({"--port", "0"}));
    char line[256] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, child.out));
    ASSERT_EQ(::kill(child.pid, SIGINT), 0);
    EXPECT_EQ(child.wait(), 0);
}

// Silent from its start for a while: it says so on standard output, refuses
// connections meanwhile, then listens again on the port it had.
TEST(SimAdapterExecutable, SilentForAWhileThenListeningOnTheSamePort) {
    Child child;
    ASSERT_TRUE(child.spawn({"--port", "0", "--conversion-ms", "0", "--silent", "1500ms@0"}));
    char line[256] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, child.out));
    int port = 0;
    ASSERT_EQ(std::sscanf(line, "listening on http://127.0.0.1:%d", &port), 1) << line;
    ASSERT_TRUE(std::fgets(line, sizeof line, child.out));
    EXPECT_EQ(std::string(line).rfind("silent at ", 0), 0u) << line;
    httplib::Client c("127.0.0.1", port);
    const auto refused = c.Get("/1Wire/GetLock.html");
    EXPECT_EQ(refused.error(), httplib::Error::Connection);
    ASSERT_TRUE(std::fgets(line, sizeof line, child.out));
    EXPECT_EQ(std::string(line).rfind("listening again at ", 0), 0u) << line;
    const auto answered = c.Get("/1Wire/GetLock.html");
    ASSERT_TRUE(answered);
    EXPECT_TRUE(field(answered->body, "LockID_0").has_value());
    ASSERT_EQ(::kill(child.pid, SIGTERM), 0);
    EXPECT_EQ(child.wait(), 0);
}

TEST(SimAdapterExecutable, RefusesANonLoopbackHost) {
    Child child;
    ASSERT_TRUE(child.spawn({"--host", "0.0.0.0", "--port", "0"}));
    EXPECT_EQ(child.readAll(), "") << "never listening";
    EXPECT_EQ(Child::readAll(child.err),
              "tarnwick-simadapter: refusing to listen on 0.0.0.0: not a loopback address\n"
              "Try --help.\n");
    EXPECT_EQ(child.wait(), 2);
}

TEST(SimAdapterExecutable, SaysWhyItCannotStartWithAStatusForEachCause) {
    sim::Adapter taken;
    ASSERT_TRUE(taken.start());
    const std::string port = std::to_string(taken.port());
    const std::string noLog = "/nonexistent-dir/simadapter.log";
    const struct {
        std::vector<std::string> args;
        std::string message;
        int status;
    } cases[] = {
        {{"--port", port}, "cannot listen on 127.0.0.1:" + port + ": Address already in use", 1},
        {{"--port", "0", "--log", noLog},
         "cannot open the request log " + noLog + ": No such file or directory",
         3},
    };
    for (const auto& c : cases) {
        Child child;
        ASSERT_TRUE(child.spawn(c.args));
        EXPECT_EQ(child.readAll(), "") << "never listening";
        EXPECT_EQ(Child::readAll(child.err), "tarnwick-simadapter: " + c.message + "\n");
        EXPECT_EQ(child.wait(), c.status) << c.message;
    }
}

TEST(SimAdapterExecutable, AnswersItsVersion) {
    Child child;
    ASSERT_TRUE(child.spawn({"--version"}));
    EXPECT_EQ(child.readAll(), "tarnwick-simadapter " SIMADAPTER_VERSION "\n");
    EXPECT_EQ(child.wait(), 0);
}

TEST(SimAdapterExecutable, HelpListsEveryFlag) {
    Child child;
    ASSERT_TRUE(child.spawn({"--help"}));
    const std::string help = child.readAll();
    EXPECT_EQ(child.wait(), 0);
    for (const char* flag : {"--host",
                             "--port",
                             "--sensors",
                             "--disconnected",
                             "--conversion-ms",
                             "--conversion-ms-for",
                             "--temperature",
                             "--reading",
                             "--silent",
                             "--delay-ms",
                             "--page-delay",
                             "--crc-error-rate",
                             "--short-reply-rate",
                             "--long-reply-rate",
                             "--lowercase",
                             "--oversize-bytes",
                             "--fault",
                             "--lock-wait-ms",
                             "--seed",
                             "--log",
                             "--max-target",
                             "--keep-alive-s",
                             "--help"})
        EXPECT_NE(help.find(flag), std::string::npos) << flag;
}

}  // namespace tarnwick::test
