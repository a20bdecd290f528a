// What the desktop's notification says of an alarm's change: who and what in
// the summary, the reading, the limit and the time in the body.
//   "Freezer: high"            "−12.50 °C, above −15 °C"
//                              "Sensor 3 (9C000000B4A89828) at 2026-12-11 07:12:49"
//   "Freezer: back to normal"  "−15.75 °C, back inside −15 °C" ...
//   "Sensor 5: fault"          "No valid reading (0000)" ...
//   "Adapter 192.168.1.50: not answering"  "Timed out" ...
// Raised alarms are critical, cleared ones normal. Degrees as the window
// shows them in `locale`.
#pragma once

#include <QLocale>

#include "AlarmEvent.h"
#include "Seams.h"

namespace tarnwick {

DesktopNotification alarmNotification(const AlarmEvent& event, const QLocale& locale);

}  // namespace tarnwick
