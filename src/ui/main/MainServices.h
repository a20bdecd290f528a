// Everything the main window reaches outside itself: the adapter and its
// sensors, the page browser, the event pump, the clocks, the dialogs. Left
// empty, each one is the program's own; tests replace what they need.
#pragma once

#include <QDateTime>
#include <functional>

#include "AcquisitionCycle.h"
#include "Roster.h"

namespace tarnwick {
class FileDialogs;
class MessageBoxes;
}  // namespace tarnwick

struct MainServices {
    QString adapterAddress = tarnwick::compiledAdapterAddress();
    tarnwick::IdentifierTable roster = tarnwick::compiledRoster();
    tarnwick::CycleTiming timing;
    tarnwick::PageBrowser* browser = nullptr;
    tarnwick::EventPump* pump = nullptr;
    tarnwick::Clock* clock = nullptr;
    std::function<QDateTime()> localNow;
    tarnwick::FileDialogs* fileDialogs = nullptr;
    tarnwick::MessageBoxes* messageBoxes = nullptr;
};
