// Text written to a stdio stream in large pieces, remembering whether any
// write failed.
#pragma once

#include <cstdio>
#include <string>

namespace tarnwick {

class OutputBuffer {
  public:
    explicit OutputBuffer(std::FILE* out);  // not owned

    void append(const char* begin, const char* end) {
        text_.append(begin, end);
        if (text_.size() >= kFlushBytes) flush();
    }
    void append(const std::string& text) { append(text.data(), text.data() + text.size()); }
    // Writes what is buffered; false when writing failed at any time.
    bool finish();

  private:
    static constexpr std::size_t kFlushBytes = 1 << 20;
    void flush();

    std::FILE* out_;
    std::string text_;
    bool failed_ = false;
};

}  // namespace tarnwick
