// The program's title: the application name of its settings, the caption of
// its message boxes and the name its About window shows.
#pragma once

#include <QLatin1String>

namespace tarnwick {

inline constexpr QLatin1String kApplicationTitle{"Tarnwick"};

}  // namespace tarnwick
