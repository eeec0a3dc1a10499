#include "mcp/line_reader.h"

#include <unistd.h>

#include <cerrno>

namespace corvanta {

std::optional<std::string> LineReader::next() {
  size_t scanned = 0;  // bytes after start_ already known to hold no newline
  while (true) {
    const size_t newline = buffer_.find('\n', start_ + scanned);
    if (newline != std::string::npos) {
      std::string line = buffer_.substr(start_, newline - start_);
      start_ = newline + 1;
      return line;
    }
    scanned = buffer_.size() - start_;
    if (!fill()) break;
  }
  if (start_ >= buffer_.size()) return std::nullopt;
  std::string last = buffer_.substr(start_);
  start_ = buffer_.size();
  return last;
}

bool LineReader::fill() {
  if (ended_) return false;
  // Drop consumed bytes first so a long session keeps a small buffer.
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  char chunk[65536];
  ssize_t count;
  do {
    count = ::read(fd_, chunk, sizeof chunk);
  } while (count < 0 && errno == EINTR);
  if (count <= 0) {
    ended_ = true;
    return false;
  }
  buffer_.append(chunk, static_cast<size_t>(count));
  return true;
}

}  // namespace corvanta
