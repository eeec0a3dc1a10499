#include "platform/random_uuid.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace corvanta {
namespace {

void fillRandom(uint8_t* data, size_t size) {
  size_t filled = 0;
  while (filled < size) {
    ssize_t n = ::getrandom(data + filled, size - filled, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      // A predictable id would be worse than none: ids are never made from a
      // fallback generator.
      throw std::runtime_error("getrandom failed");
    }
    filled += static_cast<size_t>(n);
  }
}

}  // namespace

std::string randomUuid() {
  std::array<uint8_t, 16> bytes;
  fillRandom(bytes.data(), bytes.size());
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant

  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0f];
  }
  return text;
}

}  // namespace corvanta
