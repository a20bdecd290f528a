#include "MainForm.h"

#include "frmMain.h"

namespace tarnwick {

int MainForm(const MainServices& services) {
    frmMain window(services);
    window.Show();
    return 0;
}

}  // namespace tarnwick
