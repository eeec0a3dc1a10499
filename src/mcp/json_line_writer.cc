#include "mcp/json_line_writer.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "platform/unicode_text.h"

namespace corvanta {
namespace {

// The buffer keeps its pages up to this size; one huge answer (a page of tens of
// MiB) is not worth holding on to for the rest of the session.
constexpr size_t kKeptCapacity = 4 << 20;

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// High bit set in the lowest byte of `word` (loaded little-endian) that cannot
// be copied as it is: a control character, '"', '\\' or a non-ASCII byte (to be
// checked as UTF-8). Bytes above the first match may be flagged falsely (a
// borrow runs on), so only the lowest flag is trusted.
uint64_t specialFlags(uint64_t word) {
  const uint64_t quote = word ^ (kOnes * '"');
  const uint64_t backslash = word ^ (kOnes * '\\');
  const uint64_t control = (word - kOnes * 0x20) & ~word;
  return (word | control | ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash)) &
         kHighBits;
}

bool isSpecial(unsigned char byte) {
  return byte < 0x20 || byte == '"' || byte == '\\' || byte >= 0x80;
}

// Offset of the first special byte at or after `from`, or the size.
size_t nextSpecial(std::string_view text, size_t from) {
  if constexpr (std::endian::native == std::endian::little) {
    for (; text.size() - from >= 8; from += 8) {
      uint64_t word;
      std::memcpy(&word, text.data() + from, sizeof word);
      if (const uint64_t flags = specialFlags(word)) {
        return from + static_cast<size_t>(std::countr_zero(flags)) / 8;
      }
    }
  }
  while (from < text.size() && !isSpecial(static_cast<unsigned char>(text[from]))) ++from;
  return from;
}

void appendEscape(std::string& out, unsigned char byte) {
  switch (byte) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\r':
      out += "\\r";
      return;
    default: {
      // nlohmann writes the other control characters in lower-case hex.
      constexpr char kHex[] = "0123456789abcdef";
      const char escaped[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
      out.append(escaped, sizeof escaped);
    }
  }
}

template <typename Integer>
void appendInteger(std::string& out, Integer value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

}  // namespace

std::string_view JsonLineWriter::line(const nlohmann::json& value) {
  if (buffer_.capacity() > kKeptCapacity) std::string().swap(buffer_);
  buffer_.clear();  // keeps the capacity: the pages are already mapped
  append(value);
  buffer_.push_back('\n');
  return buffer_;
}

void JsonLineWriter::appendString(std::string& out, std::string_view text) {
  const size_t begin = out.size();
  out.reserve(begin + text.size() + 2);
  out.push_back('"');
  for (size_t start = 0;;) {
    const size_t special = nextSpecial(text, start);
    out.append(text.data() + start, special - start);
    if (special == text.size()) break;
    const auto byte = static_cast<unsigned char>(text[special]);
    if (byte < 0x80) {
      appendEscape(out, byte);
      start = special + 1;
      continue;
    }
    const size_t length = utf8SequenceLength(text, special);
    if (length == 0) {
      // Where each replacement character goes is nlohmann's decoder's call.
      out.resize(begin);
      out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      return;
    }
    out.append(text.data() + special, length);
    start = special + length;
  }
  out.push_back('"');
}

void JsonLineWriter::append(const nlohmann::json& value) {
  using Type = nlohmann::json::value_t;
  switch (value.type()) {
    case Type::object: {
      buffer_.push_back('{');
      bool first = true;
      for (const auto& [key, member] : value.items()) {
        if (!first) buffer_.push_back(',');
        first = false;
        appendString(buffer_, key);
        buffer_.push_back(':');
        append(member);
      }
      buffer_.push_back('}');
      return;
    }
    case Type::array: {
      buffer_.push_back('[');
      for (size_t i = 0; i < value.size(); ++i) {
        if (i > 0) buffer_.push_back(',');
        append(value[i]);
      }
      buffer_.push_back(']');
      return;
    }
    case Type::string:
      appendString(buffer_, value.get_ref<const std::string&>());
      return;
    case Type::number_integer:
      appendInteger(buffer_, value.get<int64_t>());
      return;
    case Type::number_unsigned:
      appendInteger(buffer_, value.get<uint64_t>());
      return;
    default:
      // Booleans, null and floating-point numbers are short and rare; nlohmann's
      // own text for them is the reference.
      buffer_ += value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
}

}  // namespace corvanta
