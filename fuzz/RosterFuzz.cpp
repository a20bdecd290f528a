// Any bytes as a roster file, as people write it by hand. A roster accepted
// holds 1-16 sensors in slot order, each with a 16-hex-digit ROM code whose
// CRC checks, of a family the logger reads, listed once, with a trimmed name
// without a comma and an offset within 10 degrees. A refusal is one line that
// starts with the file's name and, where it names a line, one of the file's.
// CR LF line ends read exactly as LF ones.
#include <QByteArray>
#include <QChar>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

#include "RosterFile.h"

namespace {

using tarnwick::RosterLoad;
using tarnwick::RosterSensor;

const QString kFile = QStringLiteral("roster.conf");

void check(bool condition) {
    if (!condition) std::abort();
}

// The 1-Wire CRC-8 (x^8 + x^5 + x^4 + 1, bit by bit), of a ROM code's bytes
// in the order they travel on the bus: family first, CRC byte left out.
int busCrc(const QString& rom) {
    unsigned crc = 0;
    for (int byte = 7; byte >= 1; --byte) {
        unsigned value = rom.mid(byte * 2, 2).toUInt(nullptr, 16);
        for (int bit = 0; bit < 8; ++bit) {
            const unsigned mix = (crc ^ value) & 1U;
            crc >>= 1;
            if (mix) crc ^= 0x8CU;
            value >>= 1;
        }
    }
    return static_cast<int>(crc);
}

bool isUpperHex(QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); }

// Nothing in the text that would end a line or steer a terminal.
bool isOneLine(const QString& text) {
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            return false;
    }
    return true;
}

void checkAccepted(const RosterLoad& load, const QByteArray& text) {
    check(load.error.isEmpty());
    const std::vector<RosterSensor>& sensors = load.roster->sensors();
    check(!sensors.empty() && sensors.size() <= tarnwick::kMaxSensors);
    check(load.roster->file() == kFile);
    const QByteArray upper = text.toUpper();
    std::set<QString> roms;
    for (std::size_t i = 0; i < sensors.size(); ++i) {
        const RosterSensor& s = sensors[i];
        check(s.slot == static_cast<int>(i));
        check(load.roster->atSlot(s.slot) == &s);
        check(s.rom.size() == 16 && std::all_of(s.rom.begin(), s.rom.end(), isUpperHex));
        check(upper.contains(s.rom.toLatin1()));
        check(s.rom.left(2).toInt(nullptr, 16) == busCrc(s.rom));
        check(s.family == s.rom.right(2).toInt(nullptr, 16));
        check(s.family == 0x28 || s.family == 0x22 || s.family == 0x10);
        check(roms.insert(s.rom).second);
        check(s.name == s.name.trimmed() && !s.name.contains(u',') && !s.name.contains(u'\n'));
        check(s.offsetMilliCelsius >= -10'000 && s.offsetMilliCelsius <= 10'000);
    }
    check(load.roster->atSlot(static_cast<int>(sensors.size())) == nullptr);
}

void checkRefused(const RosterLoad& load, const QByteArray& text) {
    check(!load.error.isEmpty() && isOneLine(load.error));
    check(load.error.startsWith(kFile + u':'));
    const QString rest = load.error.mid(kFile.size() + 1);
    if (rest.startsWith(u' ')) return;  // about the whole file
    bool isNumber = false;
    const qsizetype line = rest.section(u':', 0, 0).toLongLong(&isNumber);
    check(isNumber && line >= 1 && line <= text.count('\n') + 1);
    check(rest.section(u':', 1).startsWith(u' '));
}

bool sameLoad(const RosterLoad& a, const RosterLoad& b) {
    if (a.error != b.error || a.roster.has_value() != b.roster.has_value()) return false;
    if (!a.roster) return true;
    const auto& x = a.roster->sensors();
    const auto& y = b.roster->sensors();
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i].rom != y[i].rom || x[i].name != y[i].name ||
            x[i].offsetMilliCelsius != y[i].offsetMilliCelsius || x[i].family != y[i].family)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const RosterLoad load = tarnwick::parseRoster(text, kFile);
    if (load.roster)
        checkAccepted(load, text);
    else
        checkRefused(load, text);

    QByteArray crlf = text;
    crlf.replace("\n", "\r\n");
    check(sameLoad(load, tarnwick::parseRoster(crlf, kFile)));
    return 0;
}
