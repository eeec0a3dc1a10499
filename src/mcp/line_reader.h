// LineReader: reads newline-terminated lines from a file descriptor through its
// own buffer, so a protocol loop costs one read(2) per burst of input rather than
// one per byte, and never waits for more input than the line it returns.
#pragma once

#include <optional>
#include <string>

namespace corvanta {

class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}

  // The next line without its "\n". At end of input a last unterminated line is
  // still returned; after that, nullopt. A read error counts as end of input.
  std::optional<std::string> next();

  // True when input has been read that next() has not returned yet.
  bool hasBufferedInput() const { return start_ < buffer_.size(); }

 private:
  bool fill();

  const int fd_;
  std::string buffer_;
  size_t start_ = 0;  // first unconsumed byte of buffer_
  bool ended_ = false;
};

}  // namespace corvanta
