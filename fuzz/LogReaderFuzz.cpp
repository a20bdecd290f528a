// Any bytes as a log file handed to the report, read as the report reads it:
// from a file, plain or gzip-compressed as its first bytes say, through the
// merged reader. Every line the text holds is counted once, as a record or
// as a line that is not one; a record is what its line says (its words from
// the line's end, each reading as its word reads, its time as a full reading
// of its timestamp); a line over 1024 bytes is never a record; compressed
// data that ends early or is damaged is reported, with what came before it
// still read. Plain text has each line read under several locales, and the
// file read under the one that finds the most records, then compressed in
// two members (as `cat a.gz b.gz` makes them), then cut short; the line
// splitter alone is driven with a small buffer, for lines longer than it.
#include <zlib.h>

#include <QBuffer>
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTime>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "LogReader.h"
#include "LogRecord.h"
#include "Timestamp.h"

namespace {

using namespace tarnwick;

void check(bool condition) {
    if (!condition) std::abort();
}

constexpr std::size_t kMaxRecordLine = 1024;

// A family-10 sensor (half degrees) in every third column.
constexpr PowerOnSteps kPowerOn = [] {
    PowerOnSteps steps{};
    for (std::size_t i = 0; i < steps.size(); ++i) steps[i] = i % 3 == 2 ? 170 : 85 * 16;
    return steps;
}();

// A locale the log may have been written under, with a parser and a record
// that read lines one after the other as a reader does, and a parser of its
// own that reads each record's timestamp in full: before it, a date that is
// not the timestamp's is read, so its remembered date is never the one used.
struct LogLocale {
    explicit LogLocale(const char* name)
        : locale(QString::fromLatin1(name)),
          reader(locale),
          reference(locale),
          dateA(dateOnly(QDate(2001, 2, 3))),
          dateB(dateOnly(QDate(2002, 3, 4))) {}
    std::string dateOnly(QDate date) const {
        return generalDateTime(QDateTime(date, QTime(0, 0)), locale).toStdString();
    }
    std::optional<WallSeconds> readInFull(std::string_view timestamp) {
        check(reference.parseUtf8(timestamp.substr(0, dateA.size()) == dateA ? dateB : dateA)
                  .has_value());
        return reference.parseUtf8(timestamp);
    }

    QLocale locale;
    GeneralDateTimeParser reader;
    LogRecord record;
    GeneralDateTimeParser reference;
    std::string dateA, dateB;
};

// Twelve-hour with AM and PM after the time; day-month-year with dots;
// Arabic-Indic digits, marks and names; blanks inside the date and the day
// period before the hour.
std::vector<std::unique_ptr<LogLocale>>& locales() {
    static std::vector<std::unique_ptr<LogLocale>> all = [] {
        std::vector<std::unique_ptr<LogLocale>> list;
        for (const char* name : {"en_US", "de_DE", "ar_EG", "ko_KR"})
            list.push_back(std::make_unique<LogLocale>(name));
        return list;
    }();
    return all;
}

const QString& scratchFile() {
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("fuzz.log"));
    return path;
}

// The lines of a text as the reader cuts them: at each LF, the LF left out;
// a last line without one counts too. Any CR before the LF is kept here.
std::vector<std::string_view> rawLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, lf - start));
        start = lf + 1;
    }
    return lines;
}

std::string_view withoutCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A word is its two bytes as hex pairs, the low one first.
bool readingMatches(std::string_view word, const Reading& reading, std::int16_t powerOn) {
    if (word == "0000") return reading.kind == ReadingKind::Missing;
    const int d[4] = {nibble(word[0]), nibble(word[1]), nibble(word[2]), nibble(word[3])};
    for (const int digit : d)
        if (digit < 0) return false;
    const int value = (d[2] * 16 + d[3]) << 8 | (d[0] * 16 + d[1]);
    const auto steps = static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    return reading.steps == steps &&
           reading.kind == (steps == powerOn ? ReadingKind::PowerOn : ReadingKind::Valid);
}

// Whether the record is what the line says: as many words as it carries at
// the line's end, " , " between them and ", " before the first, after a
// timestamp that does not end in a blank and reads as the record's time.
bool recordMatches(std::string_view line, const LogRecord& record, LogLocale& locale) {
    const int count = record.sensorCount;
    if (count < 1 || count > kMaxSensors || line.size() > kMaxRecordLine) return false;
    std::size_t end = line.size();
    for (int i = count - 1; i >= 0; --i) {
        if (end < 4) return false;
        const std::string_view word = line.substr(end - 4, 4);
        end -= 4;
        const std::string_view separator = i > 0 ? " , " : ", ";
        if (end < separator.size() ||
            line.substr(end - separator.size(), separator.size()) != separator)
            return false;
        end -= separator.size();
        if (!readingMatches(word, record.readings[static_cast<std::size_t>(i)],
                            kPowerOn[static_cast<std::size_t>(i)]))
            return false;
    }
    for (std::size_t i = static_cast<std::size_t>(count); i < kMaxSensors; ++i)
        if (record.readings[i].kind != ReadingKind::Absent) return false;
    const std::string_view timestamp = line.substr(0, end);
    if (timestamp.empty() || timestamp.back() == ' ') return false;
    const std::optional<WallSeconds> time = locale.readInFull(timestamp);
    return time && *time == record.time;
}

struct Run {
    std::vector<std::pair<qint64, LogRecord>> records;  // with their line numbers
    std::vector<BadLine> bad;
    QStringList errors;
    qint64 lines = 0;
};

Run readLog(const QByteArray& bytes, const QLocale& locale) {
    QFile file(scratchFile());
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
          file.write(bytes) == bytes.size());
    file.close();
    Run run;
    MergedLogs logs(
        {scratchFile()}, locale, [&](const BadLine& bad) { run.bad.push_back(bad); }, kPowerOn);
    check(!logs.open());
    while (const LogRecord* record = logs.next())
        run.records.emplace_back(logs.reader(0).lines(), *record);
    run.errors = logs.errors();
    run.lines = logs.lines();
    return run;
}

// The run read exactly the lines of `text`, each once and in order, and
// reported a read error when the text is not all there was.
void checkRun(const Run& run, std::string_view text, bool whole, LogLocale& locale) {
    const std::vector<std::string_view> lines = rawLines(text);
    check(run.lines == static_cast<qint64>(lines.size()));
    check(run.records.size() + run.bad.size() == lines.size());
    check(run.errors.size() == (whole ? 0 : 1));
    std::size_t r = 0, b = 0;
    for (std::size_t n = 1; n <= lines.size(); ++n) {
        const std::string_view line = withoutCr(lines[n - 1]);
        if (r < run.records.size() && run.records[r].first == static_cast<qint64>(n)) {
            check(recordMatches(line, run.records[r].second, locale));
            ++r;
            continue;
        }
        check(b < run.bad.size() && run.bad[b].lineNumber == static_cast<qint64>(n));
        check(run.bad[b].file == scratchFile() && run.bad[b].error != LineError::None);
        check((run.bad[b].error == LineError::TooLong) == (line.size() > kMaxRecordLine));
        ++b;
    }
}

// The text of gzip data, member after member, as far as it goes; whether it
// was all there and undamaged.
std::pair<std::string, bool> inflateAll(const QByteArray& compressed) {
    z_stream z{};
    check(inflateInit2(&z, 16 + MAX_WBITS) == Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    std::string text;
    bool whole = false;
    for (;;) {
        char out[16 * 1024];
        z.next_out = reinterpret_cast<Bytef*>(out);
        z.avail_out = sizeof out;
        const int status = inflate(&z, Z_NO_FLUSH);
        text.append(out, sizeof out - z.avail_out);
        if (status == Z_STREAM_END) {
            if (z.avail_in == 0) {
                whole = true;
                break;
            }
            inflateReset(&z);
        } else if (status != Z_OK) {
            break;
        }
    }
    inflateEnd(&z);
    return {text, whole};
}

QByteArray gzipMember(QByteArrayView text) {
    z_stream z{};
    check(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                       Z_DEFAULT_STRATEGY) == Z_OK);
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(text.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    check(deflate(&z, Z_FINISH) == Z_STREAM_END);
    out.resize(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return out;
}

void checkCompressed(const QByteArray& compressed, LogLocale& locale) {
    const auto [text, whole] = inflateAll(compressed);
    const Run run = readLog(compressed, locale.locale);
    checkRun(run, text, whole, locale);
}

// The lines read one by one as the reader reads them (a parser kept from
// line to line and from one input to the next); how many are records.
std::size_t checkLines(const std::vector<std::string_view>& lines, LogLocale& locale) {
    std::size_t records = 0;
    for (const std::string_view raw : lines) {
        const std::string_view line = withoutCr(raw);
        const LineError error = parseRecordLine(line, locale.reader, locale.record, kPowerOn);
        check((error == LineError::TooLong) == (line.size() > kMaxRecordLine));
        if (error != LineError::None) continue;
        check(recordMatches(line, locale.record, locale));
        ++records;
    }
    return records;
}

// The splitter over a buffer of `bufferBytes`: a line that with its CR does
// not fit in the buffer beside its LF is reported as too long, once.
void checkSplitter(const QByteArray& text, qsizetype bufferBytes) {
    QBuffer device;
    device.setData(text);
    check(device.open(QIODevice::ReadOnly));
    LineSplitter splitter(device, bufferBytes);
    const std::vector<std::string_view> lines = rawLines({text.data(), std::size_t(text.size())});
    std::size_t n = 0;
    bool tooLong = false;
    while (const std::optional<std::string_view> line = splitter.next(tooLong)) {
        check(n < lines.size());
        check(tooLong == (lines[n].size() >= static_cast<std::size_t>(bufferBytes)));
        check(tooLong || *line == withoutCr(lines[n]));
        ++n;
    }
    check(n == lines.size() && splitter.error().isEmpty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (bytes.startsWith("\x1F\x8B")) {
        checkCompressed(bytes, *locales()[size % locales().size()]);
        return 0;
    }

    // Each line under each locale; the file under the locale that reads the
    // most records, as a user would name it with --locale.
    const std::string_view text(bytes.data(), size);
    const std::vector<std::string_view> lines = rawLines(text);
    LogLocale* best = nullptr;
    std::size_t mostRecords = 0;
    for (const auto& locale : locales()) {
        const std::size_t records = checkLines(lines, *locale);
        if (!best || records > mostRecords) {
            best = locale.get();
            mostRecords = records;
        }
    }
    checkRun(readLog(bytes, best->locale), text, true, *best);
    checkSplitter(bytes, 1 + static_cast<qsizetype>(size % 61));

    // Compressed in two members, then cut short somewhere after the magic.
    const qsizetype split = bytes.size() / 3;
    const QByteArray compressed = gzipMember(QByteArrayView(bytes).first(split)) +
                                  gzipMember(QByteArrayView(bytes).sliced(split));
    checkCompressed(compressed, *best);
    const qsizetype cut = 2 + static_cast<qsizetype>((size * 7919) % (compressed.size() - 2));
    checkCompressed(compressed.first(cut), *best);
    return 0;
}
