#include <cstdio>
#include <memory>

#include "Application.h"
#include "ApplicationTitle.h"
#include "ExitStatus.h"
#include "HeadlessLauncher.h"
#include "MainForm.h"
#include "RealServices.h"
#include "RunSettings.h"

int main(int argc, char** argv) {
    const tarnwick::RunCommandLine command =
        tarnwick::readRunSettings(argc, argv, tarnwick::Front::Window);
    if (command.outcome != tarnwick::RunCommandLine::Outcome::Run) return command.exitStatus;
    if (command.settings.headless) return tarnwick::execHeadlessLogger(argv);

    tarnwick::Application app(argc, argv);
    QApplication::setApplicationName(tarnwick::kApplicationTitle);
    QApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));
    // Lets the desktop match the window to the installed tarnwick.desktop.
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    // The window is closed through its own handlers; the start-up ends the run.
    QApplication::setQuitOnLastWindowClosed(false);
    const auto real = std::make_unique<tarnwick::RealServices>(command.settings);
    // Refused before any window opens, as a bad option is.
    if (!real->run.metricsRefusal.isEmpty()) {
        std::fprintf(stderr, "tarnwick: %s\n", qPrintable(real->run.metricsRefusal));
        return tarnwick::kUsageExitStatus;
    }
    return tarnwick::MainForm(real->services);
}
