#include "CRCRoutines.h"

#include <algorithm>

#include "HexDigit.h"

namespace tarnwick::CRCRoutines {

std::array<std::int16_t, 256> CRCTable{};

namespace {

// The table in four literal blocks of 64 entries: 0-63, 64-127, 128-191, 192-255.
constexpr std::int16_t kBlock0[64] = {
    0,   94,  188, 226, 97,  63,  221, 131, 194, 156, 126, 32,  163, 253, 31,  65,
    157, 195, 33,  127, 252, 162, 64,  30,  95,  1,   227, 189, 62,  96,  130, 220,
    35,  125, 159, 193, 66,  28,  254, 160, 225, 191, 93,  3,   128, 222, 60,  98,
    190, 224, 2,   92,  223, 129, 99,  61,  124, 34,  192, 158, 29,  67,  161, 255,
};
constexpr std::int16_t kBlock1[64] = {
    70,  24,  250, 164, 39,  121, 155, 197, 132, 218, 56,  102, 229, 187, 89,  7,
    219, 133, 103, 57,  186, 228, 6,   88,  25,  71,  165, 251, 120, 38,  196, 154,
    101, 59,  217, 135, 4,   90,  184, 230, 167, 249, 27,  69,  198, 152, 122, 36,
    248, 166, 68,  26,  153, 199, 37,  123, 58,  100, 134, 216, 91,  5,   231, 185,
};
constexpr std::int16_t kBlock2[64] = {
    140, 210, 48,  110, 237, 179, 81,  15,  78,  16,  242, 172, 47,  113, 147, 205,
    17,  79,  173, 243, 112, 46,  204, 146, 211, 141, 111, 49,  178, 236, 14,  80,
    175, 241, 19,  77,  206, 144, 114, 44,  109, 51,  209, 143, 12,  82,  176, 238,
    50,  108, 142, 208, 83,  13,  239, 177, 240, 174, 76,  18,  145, 207, 45,  115,
};
constexpr std::int16_t kBlock3[64] = {
    202, 148, 118, 40,  171, 245, 23,  73,  8,   86,  180, 234, 105, 55,  213, 139,
    87,  9,   235, 181, 54,  104, 138, 212, 149, 203, 41,  119, 244, 170, 72,  22,
    233, 183, 85,  11,  136, 214, 52,  106, 43,  117, 151, 201, 74,  20,  246, 168,
    116, 42,  200, 150, 21,  75,  169, 247, 182, 232, 10,  84,  215, 137, 107, 53,
};

}  // namespace

void FillCRCTable() {
    for (int i = 0; i < 64; ++i) {
        CRCTable[i] = kBlock0[i];
        CRCTable[64 + i] = kBlock1[i];
        CRCTable[128 + i] = kBlock2[i];
        CRCTable[192 + i] = kBlock3[i];
    }
}

std::int16_t HexStringCRC8(QStringView hex) {
    std::int16_t crc = 0;
    const qsizetype n = hex.size();
    for (qsizetype i = 0; i < n; i += 2) {
        const qsizetype take = std::min<qsizetype>(2, n - i);
        int byte = 0;
        for (qsizetype k = 0; k < take; ++k) {
            const int d = hexDigitValue(hex[i + k].unicode());
            if (d < 0) {
                throw ConversionError("not a hexadecimal number: '" +
                                      hex.mid(i, take).toString().toStdString() + "'");
            }
            byte = byte * 16 + d;
        }
        crc = CRCTable[static_cast<std::size_t>(byte ^ crc)];
    }
    return crc;
}

QString ReplyCRC(QString reply) {
    FillCRCTable();
    if (reply.size() != 20) return QStringLiteral("Too short");
    const std::int16_t crc = HexStringCRC8(QStringView(reply).mid(2, 16));
    return QStringLiteral("%1").arg(crc, 2, 16, QLatin1Char('0')).toUpper();
}

bool AcceptReply(const QString& reply) noexcept {
    try {
        return ReplyCRC(reply) == reply.mid(18, 2);
    } catch (...) {
        return false;
    }
}

}  // namespace tarnwick::CRCRoutines
