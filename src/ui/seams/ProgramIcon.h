// The program's own icon, compiled in from data/icons.
#pragma once

#include <QIcon>
#include <QLatin1String>

namespace tarnwick {

// The icon at 32 and 48 pixels (":/icons/tarnwick-32.png", "-48.png"); the
// scalable drawing is ":/icons/tarnwick.svg".
QIcon programIcon();

// The icon's name in the desktop's icon theme, where the package installs it.
inline constexpr QLatin1String kProgramIconName{"tarnwick"};

}  // namespace tarnwick
