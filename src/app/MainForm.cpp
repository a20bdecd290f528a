#include "MainForm.h"

#include <csignal>

#include "EscapingApplication.h"
#include "ExitStatus.h"
#include "SignalWatch.h"
#include "frmMain.h"

namespace tarnwick {

int MainForm(const MainServices& services) {
    frmMain window(services);
    int status = 0;
    EscapeRoute* route = EscapeRoute::current();
    if (route) {
        route->setEscapeHandler([&window, &status](const QString& what) {
            status = kFailureExitStatus;
            window.endAfterUnhandledError(what);
        });
    }
    // Asked to end (a logout, `kill`, Ctrl+C in the terminal it was started
    // from): closed as by its close box, between two pages, so the log is
    // closed on a whole record and the placement saved.
    SignalWatch endSignals({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&endSignals, &SignalWatch::received, &window, [&window] { window.close(); });
    window.Show();
    if (route) route->setEscapeHandler({});
    return status;
}

}  // namespace tarnwick
