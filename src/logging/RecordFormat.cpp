#include "RecordFormat.h"

namespace tarnwick {

QByteArray formatRecord(const QString& timestamp, const QStringList& words) {
    QString line;
    qsizetype length = timestamp.size() + 4;
    for (const QString& word : words) length += word.size() + 3;
    line.reserve(length);

    line += timestamp;
    line += u", ";
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (i > 0) line += u" , ";
        line += words[i];
    }
    line += u"\r\n";
    return line.toUtf8();
}

}  // namespace tarnwick
