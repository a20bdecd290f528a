#include "RealServices.h"

namespace tarnwick {

RealServices::RealServices()
    : services{.browser = browser,
               .pump = pump,
               .clock = clock,
               .localNow = [] { return QDateTime::currentDateTime(); },
               .fileDialogs = fileDialogs,
               .printerDialogs = printerDialogs,
               .messageBoxes = messageBoxes,
               .settingsStore = settingsStore,
               .programLauncher = programLauncher,
               .systemInfoStore = systemInfoStore} {}

std::unique_ptr<RealServices> makeRealServices() { return std::make_unique<RealServices>(); }

}  // namespace tarnwick
