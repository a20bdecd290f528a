#include "MainForm.h"

#include "frmMain.h"

int MainForm(MainServices services) {
    frmMain window;
    window.setServices(std::move(services));
    window.Show();
    return 0;
}
