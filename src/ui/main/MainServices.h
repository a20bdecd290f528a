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

struct MainServices {
    QString adapterAddress = compiledAdapterAddress();
    IdentifierTable roster = compiledRoster();
    CycleTiming timing;
    PageBrowser* browser = nullptr;
    EventPump* pump = nullptr;
    Clock* clock = nullptr;
    std::function<QDateTime()> localNow;
    FileDialogs* fileDialogs = nullptr;
    MessageBoxes* messageBoxes = nullptr;
};

}  // namespace tarnwick
