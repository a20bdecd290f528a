// Any bytes as an adapter page: the field look-up must neither crash nor take
// long, and what it finds must be text it could have read from the page.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "HtmlField.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray page = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                    static_cast<qsizetype>(size));
    for (const char* name : {"LockID_0", "ResultData_0"}) {
        const std::optional<QString> value = tarnwick::findFieldValue(page, QString::fromLatin1(name));
        // A value is made of what the page holds: never longer than the page
        // as text (a character reference is always longer than what it stands for).
        if (value && value->size() > tarnwick::decodePage(page).size()) std::abort();
    }
    return 0;
}
