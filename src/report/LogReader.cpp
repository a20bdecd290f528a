#include "LogReader.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

LineSplitter::LineSplitter(QIODevice& device, qsizetype bufferBytes)
    : device_(device), buffer_(static_cast<std::size_t>(bufferBytes)) {}

bool LineSplitter::refill() {
    if (eof_) return false;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buffer_.size()) return false;
    const qint64 got =
        device_.read(buffer_.data() + end_, static_cast<qint64>(buffer_.size() - end_));
    if (got < 0) {
        error_ = device_.errorString();
        eof_ = true;
        return false;
    }
    if (got == 0) {
        eof_ = true;
        return false;
    }
    end_ += static_cast<std::size_t>(got);
    return true;
}

std::optional<std::string_view> LineSplitter::next(bool& tooLong) {
    tooLong = false;
    std::size_t scanned = 0;  // bytes after begin_ known to hold no line feed
    for (;;) {
        const char* data = buffer_.data();
        if (const void* lf = std::memchr(data + begin_ + scanned, '\n', end_ - begin_ - scanned)) {
            const std::size_t at = static_cast<const char*>(lf) - data;
            std::size_t lineEnd = at;
            if (lineEnd > begin_ && data[lineEnd - 1] == '\r') --lineEnd;
            const std::string_view line(data + begin_, lineEnd - begin_);
            begin_ = at + 1;
            return line;
        }
        scanned = end_ - begin_;
        if (begin_ == 0 && end_ == buffer_.size()) {
            // A line longer than the whole buffer: reported once, skipped to its end.
            tooLong = true;
            for (;;) {
                begin_ = end_ = 0;
                if (!refill()) return std::string_view();
                if (const void* lf = std::memchr(buffer_.data(), '\n', end_)) {
                    begin_ = static_cast<const char*>(lf) - buffer_.data() + 1;
                    return std::string_view();
                }
            }
        }
        if (!refill()) {
            if (end_ == begin_ || (following_ && error_.isEmpty())) return std::nullopt;
            // The last line has no line end.
            std::size_t lineEnd = end_;
            if (lineEnd > begin_ && buffer_[lineEnd - 1] == '\r') --lineEnd;
            const std::string_view line(buffer_.data() + begin_, lineEnd - begin_);
            begin_ = end_;
            return line;
        }
    }
}

LogReader::LogReader(const QString& path, const QLocale& locale, BadLineHandler onBadLine,
                     const PowerOnSteps& powerOn)
    : path_(path),
      input_(path),
      timestamps_(locale),
      onBadLine_(std::move(onBadLine)),
      powerOn_(powerOn) {}

std::optional<QString> LogReader::open() {
    if (std::optional<QString> reason = input_.open()) return reason;
    splitter_ = std::make_unique<LineSplitter>(input_.device());
    return std::nullopt;
}

void LogReader::follow(bool following) {
    if (splitter_) splitter_->setFollowing(following);
}

void LogReader::resume() {
    if (splitter_) splitter_->resume();
}

void LogReader::rewind() {
    if (!splitter_ || !input_.file().seek(0)) return;
    splitter_ = std::make_unique<LineSplitter>(input_.device());
    splitter_->setFollowing(true);
    lineNumber_ = 0;
}

const LogRecord* LogReader::next() {
    if (!splitter_) return nullptr;
    bool tooLong = false;
    while (const std::optional<std::string_view> line = splitter_->next(tooLong)) {
        ++lineNumber_;
        const LineError error =
            tooLong ? LineError::TooLong : parseRecordLine(*line, timestamps_, record_, powerOn_);
        if (error == LineError::None) return &record_;
        if (onBadLine_) onBadLine_({path_, lineNumber_, error});
    }
    return nullptr;
}

MergedLogs::MergedLogs(const QStringList& paths, const QLocale& locale, BadLineHandler onBadLine,
                       const PowerOnSteps& powerOn) {
    for (const QString& path : paths)
        readers_.push_back(std::make_unique<LogReader>(path, locale, onBadLine, powerOn));
    heads_.assign(readers_.size(), nullptr);
}

std::optional<QString> MergedLogs::open() {
    for (auto& reader : readers_) {
        if (std::optional<QString> reason = reader->open())
            return QStringLiteral("%1: %2").arg(reader->path(), *reason);
    }
    return std::nullopt;
}

const LogRecord* MergedLogs::next() {
    // Earlier time first; for equal times the file that began earlier, then
    // the file given first. std::*_heap keeps the greatest element in front,
    // hence the reversed comparison.
    const auto later = [this](int a, int b) {
        const WallSeconds ta = heads_[a]->time;
        const WallSeconds tb = heads_[b]->time;
        if (ta != tb) return ta > tb;
        if (firstTimes_[a] != firstTimes_[b]) return firstTimes_[a] > firstTimes_[b];
        return a > b;
    };
    if (!started_) {
        started_ = true;
        firstTimes_.assign(readers_.size(), 0);
        for (int i = 0; i < static_cast<int>(readers_.size()); ++i) {
            heads_[i] = readers_[i]->next();
            if (!heads_[i]) continue;
            firstTimes_[i] = heads_[i]->time;
            heap_.push_back(i);
        }
        std::make_heap(heap_.begin(), heap_.end(), later);
    } else if (current_ >= 0) {
        // Only the reader handed out last has moved on.
        heads_[current_] = readers_[current_]->next();
        if (heads_[current_]) {
            heap_.push_back(current_);
            std::push_heap(heap_.begin(), heap_.end(), later);
        }
        current_ = -1;
    }
    if (heap_.empty()) return nullptr;
    std::pop_heap(heap_.begin(), heap_.end(), later);
    current_ = heap_.back();
    heap_.pop_back();
    return heads_[current_];
}

std::unique_ptr<LogReader> MergedLogs::take(int index) {
    heap_.clear();
    current_ = -1;
    return std::move(readers_[static_cast<std::size_t>(index)]);
}

QStringList MergedLogs::errors() const {
    QStringList errors;
    for (const auto& reader : readers_) {
        if (reader && !reader->error().isEmpty())
            errors << QStringLiteral("%1: %2").arg(reader->path(), reader->error());
    }
    return errors;
}

qint64 MergedLogs::lines() const {
    qint64 lines = 0;
    for (const auto& reader : readers_) lines += reader ? reader->lines() : 0;
    return lines;
}

}  // namespace tarnwick
