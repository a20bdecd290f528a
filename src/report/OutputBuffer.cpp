#include "OutputBuffer.h"

namespace tarnwick {

OutputBuffer::OutputBuffer(std::FILE* out) : out_(out) { text_.reserve(kFlushBytes + 4096); }

void OutputBuffer::flush() {
    if (!text_.empty() && std::fwrite(text_.data(), 1, text_.size(), out_) != text_.size())
        failed_ = true;
    text_.clear();
}

bool OutputBuffer::finish() {
    flush();
    if (std::fflush(out_) != 0) failed_ = true;
    return !failed_;
}

}  // namespace tarnwick
