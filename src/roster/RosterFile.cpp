#include "RosterFile.h"

#include <QFile>
#include <QList>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>

#include "CRCRoutines.h"
#include "HexDigit.h"

namespace tarnwick {

namespace {

// Far more than sixteen lines of sensors and comments; anything longer is
// not a roster (and /dev/zero is not read for ever).
constexpr qint64 kMaxRosterBytes = 64 * 1024;

bool isHex(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return isHexDigit(c.unicode()); });
}

// The ROM code's CRC byte as it should be: the CRC-8 of the other seven
// bytes in the order they travel on the bus, family code first.
int expectedRomCrc(QStringView rom) {
    QString wireOrder;
    for (int byte = 7; byte >= 1; --byte) wireOrder += rom.mid(byte * 2, 2);
    CRCRoutines::FillCRCTable();
    return CRCRoutines::HexStringCRC8(wireOrder);
}

// Thousandths of a degree from "-0.25", "+0.3", "2", ".5"; nullopt for
// anything else, more than three decimals included.
std::optional<int> parseOffset(QStringView text) {
    qsizetype at = 0;
    int sign = 1;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
        if (text[at] == u'-') sign = -1;
        ++at;
    }
    qint64 whole = 0;
    int digits = 0;
    for (; at < text.size() && text[at].isDigit() && text[at].unicode() < 128; ++at, ++digits) {
        whole = whole * 10 + (text[at].unicode() - u'0');
        if (whole > 1'000'000) return std::nullopt;
    }
    int thousandths = 0;
    if (at < text.size() && text[at] == u'.') {
        ++at;
        int decimals = 0;
        for (; at < text.size() && text[at].isDigit() && text[at].unicode() < 128;
             ++at, ++decimals) {
            if (decimals == 3) return std::nullopt;
            thousandths = thousandths * 10 + (text[at].unicode() - u'0');
        }
        digits += decimals;
        for (int d = decimals; d < 3; ++d) thousandths *= 10;
    }
    if (at != text.size() || digits == 0) return std::nullopt;
    return sign * static_cast<int>(whole * 1000 + thousandths);
}

QString sourceName(RosterLocation::Source source) {
    switch (source) {
        case RosterLocation::Source::Option:
            return QStringLiteral("--roster");
        case RosterLocation::Source::Environment:
            return QLatin1String(kRosterVariable);
        case RosterLocation::Source::ConfigFolder:
            return QStringLiteral("the config folder");
        case RosterLocation::Source::Compiled:
            break;
    }
    return QString();
}

}  // namespace

RosterLocation locateRoster(const std::optional<QString>& option, const QString& environment) {
    if (option) return {RosterLocation::Source::Option, *option};
    if (!environment.isEmpty()) return {RosterLocation::Source::Environment, environment};
    const QString found = QStandardPaths::locate(QStandardPaths::GenericConfigLocation,
                                                 QLatin1String(kRosterConfigName));
    if (!found.isEmpty()) return {RosterLocation::Source::ConfigFolder, found};
    return {};
}

namespace {

// One line of a roster as text, a BOM before the first line dropped; nullopt
// when it is not UTF-8.
std::optional<QString> lineText(QByteArrayView bytes, bool firstLine) {
    if (firstLine && bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);  // a BOM
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString line = utf8(bytes);
    if (utf8.hasError()) return std::nullopt;
    return line;
}

// Text from the file as a message quotes it: in quotes and on one line, with
// control characters and line separators written as escapes ("\x1B",
// "\u2028"), so that a stray one can neither end the message's line nor
// steer the terminal it is shown on.
QString quoted(QStringView text) {
    QString out(u'"');
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (category != QChar::Other_Control && category != QChar::Separator_Line &&
            category != QChar::Separator_Paragraph) {
            out += c;
            continue;
        }
        const bool narrow = c.unicode() < 0x100;
        out += narrow ? QLatin1String("\\x") : QLatin1String("\\u");
        out += QString::number(c.unicode(), 16).rightJustified(narrow ? 2 : 4, u'0').toUpper();
    }
    return out += u'"';
}

// The ROM code of a sensor line, checked: 16 hex digits, its CRC-8 and a
// temperature family. Why not, when it is not one.
std::optional<QString> readRom(const QString& field, RosterSensor& sensor) {
    const QString rom = field.trimmed();
    if (rom.size() != 16 || !isHex(rom))
        return QStringLiteral("%1 is not a ROM code: 16 hex digits expected").arg(quoted(rom));
    sensor.rom = rom.toUpper();
    const QString crc =
        QStringLiteral("%1").arg(expectedRomCrc(sensor.rom), 2, 16, QLatin1Char('0')).toUpper();
    if (!sensor.rom.startsWith(crc))
        return QStringLiteral(
                   "ROM code %1 does not check (its CRC byte does not match the other "
                   "seven): a digit is likely mistyped; copy the code again from the "
                   "adapter's list of its sensors")
            .arg(sensor.rom);
    sensor.family = familyOf(sensor.rom);
    if (!isTemperatureFamily(sensor.family))
        return QStringLiteral(
                   "ROM code %1 is of family %2, not a temperature sensor this "
                   "logger reads (families 28, 22 and 10)")
            .arg(sensor.rom, sensor.rom.right(2));
    return std::nullopt;
}

// The offset field of a sensor line, empty for none; why not, when it is
// not one.
std::optional<QString> readOffset(const QString& field, RosterSensor& sensor) {
    const QString offset = field.trimmed();
    if (offset.isEmpty()) return std::nullopt;
    const std::optional<int> value = parseOffset(offset);
    if (!value)
        return QStringLiteral(
                   "offset %1 is not a number of degrees such as -0.25 (a dot, "
                   "at most three decimals)")
            .arg(quoted(offset));
    if (*value > kMaxOffsetMilliCelsius || *value < -kMaxOffsetMilliCelsius)
        return QStringLiteral("offset %1 is beyond 10 degrees either way").arg(offset);
    sensor.offsetMilliCelsius = *value;
    return std::nullopt;
}

// Degrees in thousandths from a setting's value, within [min, max] degrees;
// why not, when it is not one.
std::optional<QString> readDegrees(const QString& key, const QString& value, int minDegrees,
                                   int maxDegrees, int& milli) {
    const std::optional<int> parsed = parseOffset(value);
    if (!parsed)
        return QStringLiteral("%1=%2 is not a number of degrees such as -18.5 (a dot, at most "
                              "three decimals)")
            .arg(key, quoted(value));
    if (*parsed < minDegrees * 1000 || *parsed > maxDegrees * 1000)
        return QStringLiteral("%1=%2 is outside %3 to %4 degrees")
            .arg(key, value)
            .arg(minDegrees)
            .arg(maxDegrees);
    milli = *parsed;
    return std::nullopt;
}

// "90", "90s", "5m" or "2h" in milliseconds, at most a day.
std::optional<qint64> parseDelay(QStringView text) {
    qint64 unitMs = 1000;
    if (text.endsWith(u's')) text.chop(1);
    else if (text.endsWith(u'm')) unitMs = 60'000, text.chop(1);
    else if (text.endsWith(u'h')) unitMs = 3'600'000, text.chop(1);
    bool number = false;
    const qint64 count = text.toLongLong(&number);
    if (!number || count < 0 || text.startsWith(u'+') || count * unitMs > 86'400'000)
        return std::nullopt;
    return count * unitMs;
}

// One alarm setting of a sensor line, "key=value"; why not, when it is not one.
std::optional<QString> readSetting(const QString& field, QStringList& seen, RosterSensor& sensor) {
    const qsizetype equals = field.indexOf(u'=');
    const QString key = field.left(equals).trimmed().toLower();
    const QString value = field.mid(equals + 1).trimmed();
    if (seen.contains(key)) return QStringLiteral("%1 is given twice").arg(key);
    seen << key;
    AlarmLimits& limits = sensor.limits;
    int milli = 0;
    if (key == u"low" || key == u"high") {
        if (std::optional<QString> why = readDegrees(key, value, -100, 200, milli)) return why;
        (key == u"low" ? limits.lowMilliCelsius : limits.highMilliCelsius) = milli;
    } else if (key == u"hysteresis") {
        if (std::optional<QString> why = readDegrees(key, value, 0, 50, milli)) return why;
        limits.hysteresisMilliCelsius = milli;
    } else if (key == u"delay") {
        const std::optional<qint64> delay = parseDelay(value);
        if (!delay)
            return QStringLiteral("delay=%1 is not a time such as 90, 90s, 5m or 2h (at most a day)")
                .arg(quoted(value));
        limits.delayMs = *delay;
    } else if (key == u"fault") {
        bool number = false;
        const int passes = value.toInt(&number);
        if (!number || passes < 1 || passes > 1000 || value.startsWith(u'+'))
            return QStringLiteral("fault=%1 is not a number of passes from 1 to 1000")
                .arg(quoted(value));
        limits.faultPasses = passes;
    } else {
        return QStringLiteral("unknown setting %1: a sensor takes low=, high=, hysteresis=, "
                              "delay= and fault=")
            .arg(quoted(key));
    }
    return std::nullopt;
}

// A sensor line, "ROM code[, name[, offset]][, key=value...]", trimmed; why
// not, when it is not one.
std::optional<QString> readSensor(const QString& line, RosterSensor& sensor) {
    const QStringList fields = line.split(u',');
    if (std::optional<QString> why = readRom(fields[0], sensor)) return why;
    if (fields.size() > 1) sensor.name = fields[1].trimmed();
    QStringList seen;
    for (qsizetype i = 2; i < fields.size(); ++i) {
        if (fields[i].contains(u'=')) {
            if (std::optional<QString> why = readSetting(fields[i], seen, sensor)) return why;
        } else if (i > 2 || !seen.isEmpty()) {
            return QStringLiteral(
                "%1 after the offset is not a setting (key=value); a name cannot hold a "
                "comma, an offset takes a dot")
                .arg(quoted(fields[i].trimmed()));
        } else if (std::optional<QString> why = readOffset(fields[i], sensor)) {
            return why;
        }
    }
    const AlarmLimits& limits = sensor.limits;
    if (limits.lowMilliCelsius && limits.highMilliCelsius &&
        *limits.lowMilliCelsius >= *limits.highMilliCelsius)
        return QStringLiteral("low=%1 is not below high=%2")
            .arg(*limits.lowMilliCelsius / 1000.0)
            .arg(*limits.highMilliCelsius / 1000.0);
    return std::nullopt;
}

}  // namespace

RosterLoad parseRoster(const QByteArray& text, const QString& file) {
    RosterLoad result;
    const auto refuse = [&](qsizetype line, const QString& what) {
        result.error = QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(what);
        return result;
    };
    std::vector<RosterSensor> sensors;
    std::vector<qsizetype> lineOf;  // each sensor's line number
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const qsizetype lineNumber = index + 1;
        const std::optional<QString> line = lineText(lines[index], index == 0);
        if (!line) return refuse(lineNumber, QStringLiteral("not UTF-8 text"));
        const QString trimmed = line->trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#')) continue;

        RosterSensor sensor;
        if (std::optional<QString> why = readSensor(trimmed, sensor))
            return refuse(lineNumber, *why);
        for (std::size_t i = 0; i < sensors.size(); ++i) {
            if (sensors[i].rom == sensor.rom)
                return refuse(lineNumber, QStringLiteral("sensor %1 is listed twice, on lines "
                                                         "%2 and %3")
                                              .arg(sensor.rom)
                                              .arg(lineOf[i])
                                              .arg(lineNumber));
        }
        if (static_cast<int>(sensors.size()) == kMaxSensors)
            return refuse(lineNumber, QStringLiteral("a 17th sensor: a roster lists at most 16"));
        sensor.slot = static_cast<int>(sensors.size());
        sensors.push_back(sensor);
        lineOf.push_back(lineNumber);
    }
    if (sensors.empty()) {
        result.error = QStringLiteral("%1: lists no sensor").arg(file);
        return result;
    }
    result.roster = SensorRoster(std::move(sensors), file);
    return result;
}

RosterLoad loadRoster(const RosterLocation& location) {
    if (location.source == RosterLocation::Source::Compiled) return {SensorRoster(), QString()};
    RosterLoad result;
    QFile file(location.path);
    if (location.path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        result.error =
            QStringLiteral("%1: cannot read the roster (named by %2): %3")
                .arg(location.path, sourceName(location.source),
                     location.path.isEmpty() ? QStringLiteral("no file name") : file.errorString());
        return result;
    }
    const QByteArray text = file.read(kMaxRosterBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        result.error =
            QStringLiteral("%1: cannot read the roster: %2").arg(location.path, file.errorString());
        return result;
    }
    if (text.size() > kMaxRosterBytes) {
        result.error = QStringLiteral("%1: over %2 KiB, too long for a roster")
                           .arg(location.path)
                           .arg(kMaxRosterBytes / 1024);
        return result;
    }
    return parseRoster(text, location.path);
}

QString rosterHelp() {
    return QStringLiteral(
        "The sensors are those of the roster file named by --roster, else by\n"
        "TARNWICK_ROSTER, else Tarnwick/roster.conf in the config folders\n"
        "($XDG_CONFIG_HOME or ~/.config, then $XDG_CONFIG_DIRS or /etc/xdg); without\n"
        "one, the sixteen built in. One sensor a line in slot order (the first is\n"
        "sensor 1): its ROM code, then optionally a name and a calibration offset in\n"
        "degrees C added to its readings, separated by commas; lines starting with #\n"
        "are comments. Alarm settings may follow as key=value: low= and high= (degrees\n"
        "C, after the offset), hysteresis= (0.5 unless given), delay= (90, 90s, 5m,\n"
        "2h: how long a limit stays crossed before the alarm) and fault= (failed\n"
        "readings in a row that make a fault, 3 unless given):\n"
        "\n"
        "  # ROM code,       name,          offset, alarm settings\n"
        "  9C000000B4A89828, Freezer door,  -0.25,  high=-15, delay=10m\n"
        "  06000000A4EC7428, Living room\n"
        "  B900000027CA8F28\n"
        "  E6000000B4E6AC28, ,              +0.3\n"
        "  5D000000B4F0A928, Pipes, low=3, hysteresis=1");
}

RosterLoad findRoster(const std::optional<QString>& option, const QString& environment) {
    return loadRoster(locateRoster(option, environment));
}

}  // namespace tarnwick
