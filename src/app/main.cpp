#include "Application.h"
#include "ApplicationTitle.h"
#include "CommandLine.h"
#include "HeadlessLauncher.h"
#include "MainForm.h"
#include "RealServices.h"

int main(int argc, char** argv) {
    const tarnwick::CommandLine options = tarnwick::readCommandLine(argc, argv);
    if (options.outcome != tarnwick::CommandLine::Outcome::Run) return options.exitStatus;
    if (options.headless) return tarnwick::execHeadlessLogger(argv);

    tarnwick::Application app(argc, argv);
    QApplication::setApplicationName(tarnwick::kApplicationTitle);
    QApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));
    // Lets the desktop match the window to the installed tarnwick.desktop.
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    // The window is closed through its own handlers; the start-up ends the run.
    QApplication::setQuitOnLastWindowClosed(false);
    const std::unique_ptr<tarnwick::RealServices> real = tarnwick::makeRealServices(options);
    return tarnwick::MainForm(real->services);
}
