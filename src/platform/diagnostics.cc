#include "platform/diagnostics.h"

#include <unistd.h>

#include <atomic>
#include <string>

namespace corvanta {
namespace {

std::atomic<int> gDescriptor{STDOUT_FILENO};

}  // namespace

void setDiagnosticStream(DiagnosticStream stream) {
  gDescriptor = stream == DiagnosticStream::standardError ? STDERR_FILENO : STDOUT_FILENO;
}

void printDiagnostic(std::string_view line) {
  // One write(2) per line keeps lines from different threads whole; stdio buffers
  // are bypassed so the order against the protocol stream is preserved.
  std::string text(line);
  text.push_back('\n');
  const char* data = text.data();
  size_t left = text.size();
  const int fd = gDescriptor.load();
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written <= 0) return;
    data += written;
    left -= static_cast<size_t>(written);
  }
}

}  // namespace corvanta
