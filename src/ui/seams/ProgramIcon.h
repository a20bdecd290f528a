// The program's own icon, compiled in from data/icons.
#pragma once

#include <QIcon>

namespace tarnwick {

// The icon at 32 and 48 pixels (":/icons/tarnwick-32.png", "-48.png"); the
// scalable drawing is ":/icons/tarnwick.svg".
QIcon programIcon();

}  // namespace tarnwick
