#include "LogInput.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace tarnwick {

namespace {

// Every gzip member starts with these two bytes.
constexpr unsigned char kGzipMagic[] = {0x1F, 0x8B};
constexpr std::size_t kCompressedChunk = 64 * 1024;

// The text of a gzip stream read from `source`, one or more members one after
// the other (as `cat a.gz b.gz` makes them).
class GzipInflater : public QIODevice {
  public:
    explicit GzipInflater(QIODevice& source) : source_(source), input_(kCompressedChunk) {
        // 16 + MAX_WBITS: a gzip header and trailer around the deflate data.
        if (inflateInit2(&stream_, 16 + MAX_WBITS) != Z_OK)
            failure_ = QStringLiteral("cannot start decompressing: out of memory");
    }
    ~GzipInflater() override { inflateEnd(&stream_); }

    bool isSequential() const override { return true; }

  protected:
    qint64 readData(char* data, qint64 maxSize) override {
        stream_.next_out = reinterpret_cast<Bytef*>(data);
        stream_.avail_out = static_cast<uInt>(std::min<qint64>(maxSize, UINT_MAX));
        while (stream_.avail_out > 0 && failure_.isEmpty()) {
            if (stream_.avail_in == 0 && !sourceEnded_) fill();
            if (stream_.avail_in == 0 && sourceEnded_) {
                if (!memberEnded_ && failure_.isEmpty())
                    failure_ = QStringLiteral("the compressed data ends early (the file was cut)");
                break;
            }
            if (memberEnded_) {
                // Another member follows.
                inflateReset(&stream_);
                memberEnded_ = false;
            }
            const int status = inflate(&stream_, Z_NO_FLUSH);
            if (status == Z_STREAM_END) {
                memberEnded_ = true;
            } else if (status != Z_OK && !(status == Z_BUF_ERROR && stream_.avail_in == 0)) {
                failure_ = QStringLiteral("the compressed data is damaged (%1)")
                               .arg(QString::fromLatin1(stream_.msg ? stream_.msg : "zlib error"));
            }
        }
        const qint64 produced =
            static_cast<qint64>(reinterpret_cast<char*>(stream_.next_out) - data);
        // What came before a failure is handed out first; the failure at the next read.
        if (produced > 0) return produced;
        if (!failure_.isEmpty()) {
            setErrorString(failure_);
            return -1;
        }
        return 0;
    }

    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    void fill() {
        const qint64 got = source_.read(reinterpret_cast<char*>(input_.data()),
                                        static_cast<qint64>(input_.size()));
        if (got < 0) failure_ = source_.errorString();
        if (got <= 0) {
            sourceEnded_ = true;
            return;
        }
        stream_.next_in = input_.data();
        stream_.avail_in = static_cast<uInt>(got);
    }

    QIODevice& source_;
    std::vector<unsigned char> input_;
    z_stream stream_{};
    bool sourceEnded_ = false;
    bool memberEnded_ = false;
    QString failure_;
};

}  // namespace

LogInput::LogInput(const QString& path) : file_(path) {}

LogInput::~LogInput() = default;

std::optional<QString> LogInput::open() {
    if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return file_.errorString();
    char magic[sizeof kGzipMagic];
    if (file_.peek(magic, sizeof magic) == sizeof magic &&
        std::equal(std::begin(kGzipMagic), std::end(kGzipMagic),
                   reinterpret_cast<const unsigned char*>(magic))) {
        inflater_ = std::make_unique<GzipInflater>(file_);
        inflater_->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    return std::nullopt;
}

QIODevice& LogInput::device() { return inflater_ ? *inflater_ : static_cast<QIODevice&>(file_); }

}  // namespace tarnwick
