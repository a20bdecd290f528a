// The program's start-up: creates the main window with the services it is
// handed and shows it. Showing runs the window's load handling, which polls
// the adapter until the window is unloaded; then the start-up returns the
// program's exit status.
#pragma once

#include "MainServices.h"

namespace tarnwick {

int MainForm(const MainServices& services);

}  // namespace tarnwick
