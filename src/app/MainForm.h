// The program's start-up: creates the main window with the services it is
// handed and shows it. Showing runs the window's load handling, which polls
// the adapter until the window is unloaded (by the user, or by SIGTERM, SIGINT
// or SIGHUP, which close it as its close box does); then the start-up returns
// the program's exit status.
#pragma once

#include "MainServices.h"

namespace tarnwick {

int MainForm(const MainServices& services);

}  // namespace tarnwick
