#include "MainForm.h"

#include "frmMain.h"

namespace tarnwick {

int MainForm(MainServices services) {
    frmMain window;
    window.setServices(std::move(services));
    window.Show();
    return 0;
}

}  // namespace tarnwick
