// Any text as a scratchpad reply: the check never throws, and accepts only a
// 20-character reply whose CRC field is the upper-case CRC of its bytes.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "CRCRoutines.h"

using namespace tarnwick::CRCRoutines;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString reply =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const bool accepted = AcceptReply(reply);
    QString crc;
    bool converted = true;
    try {
        crc = ReplyCRC(reply);
    } catch (const ConversionError&) {
        converted = false;
    }
    if (accepted) {
        if (!converted || reply.size() != 20 || crc != reply.mid(18, 2)) std::abort();
        if (crc.size() != 2 || crc != crc.toUpper()) std::abort();
    }
    if (converted && reply.size() != 20 && crc != QLatin1String("Too short")) std::abort();
    if (converted && reply.size() == 20 && !accepted && crc == reply.mid(18, 2)) std::abort();
    try {
        FillCRCTable();
        const std::int16_t value = HexStringCRC8(reply);
        if (value < 0 || value > 255) std::abort();
    } catch (const ConversionError&) {
    }
    return 0;
}
