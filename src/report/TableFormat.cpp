#include "TableFormat.h"

namespace tarnwick {

std::string csvField(const QString& text) {
    std::string field = text.toStdString();
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string dateText(WallSeconds t) {
    return fromWallSeconds(t).date().toString(Qt::ISODate).toStdString();
}

std::string timeOfDayText(WallSeconds t) {
    return fromWallSeconds(t).time().toString(Qt::ISODate).toStdString();
}

}  // namespace tarnwick
