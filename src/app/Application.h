// The window program's application object: a QApplication whose events go
// through the escape route (EscapingApplication.h), shared with the headless
// logger's QCoreApplication.
#pragma once

#include <QApplication>

#include "EscapingApplication.h"

namespace tarnwick {

using Application = EscapingApplication<QApplication>;

}  // namespace tarnwick
