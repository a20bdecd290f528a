#include "RealServices.h"

#include <QGuiApplication>

#include "ApplicationTitle.h"
#include "ProgramIcon.h"

namespace tarnwick {

namespace {

// With notifications off the session bus is not even reached: a connection
// by a name never connected is one that is not connected.
QDBusConnection notificationBus(const RunSettings& settings) {
    if (!settings.notifications) return QDBusConnection(QStringLiteral("tarnwick-no-bus"));
    return QDBusConnection::sessionBus();
}

}  // namespace

RealServices::RealServices(const RunSettings& settings)
    : run(settings),
      desktopNotifier(notificationBus(settings), kApplicationTitle, kProgramIconName,
                      QGuiApplication::desktopFileName()),
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
               .desktopNotifier = desktopNotifier,
               .passObserver = run.passObserver(),
               .settings = settings} {}

}  // namespace tarnwick
