#include "RealServices.h"

namespace tarnwick {

RealServices::RealServices(const RunSettings& settings)
    : run(settings),
      services{.browser = run.browser,
               .pump = run.pump,
               .clock = run.clock,
               .wallClock = run.wallClock,
               .fileDialogs = fileDialogs,
               .printerDialogs = printerDialogs,
               .messageBoxes = messageBoxes,
               .settingsStore = settingsStore,
               .programLauncher = programLauncher,
               .systemInfoStore = systemInfoStore,
               .publisher = *run.publisher,
               .alarmOutlet = run.alarmOutlets,
               .passObserver = run.passObserver(),
               .settings = settings} {}

}  // namespace tarnwick
