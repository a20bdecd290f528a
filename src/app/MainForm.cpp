#include "MainForm.h"

#include "Application.h"
#include "frmMain.h"

namespace tarnwick {

int MainForm(const MainServices& services) {
    frmMain window(services);
    int status = 0;
    if (auto* app = qobject_cast<Application*>(QCoreApplication::instance())) {
        app->setEscapeHandler([&window, &status](const QString& what) {
            status = Application::kEscapeStatus;
            window.endAfterUnhandledError(what);
        });
    }
    window.Show();
    if (auto* app = qobject_cast<Application*>(QCoreApplication::instance()))
        app->setEscapeHandler({});
    return status;
}

}  // namespace tarnwick
