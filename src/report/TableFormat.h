// How a table of the report is written: aligned text for people, or CSV
// (comma-separated, CR LF line ends) for programs.
#pragma once

#include <QString>
#include <string>

#include "Timestamp.h"

namespace tarnwick {

enum class TableFormat { Text, Csv };

// A CSV field: text with a comma, a quote or a line end goes in quotes, its
// quotes doubled.
std::string csvField(const QString& text);

// "2026-12-08", "07:00:05": a wall-clock time's date or time of day.
std::string dateText(WallSeconds t);
std::string timeOfDayText(WallSeconds t);

}  // namespace tarnwick
