#include "MainForm.h"

#include "EscapingApplication.h"
#include "ExitStatus.h"
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
    window.Show();
    if (route) route->setEscapeHandler({});
    return status;
}

}  // namespace tarnwick
