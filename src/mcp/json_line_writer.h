// JsonLineWriter: the compact text of a JSON value as one protocol line, in a
// buffer kept from one line to the next.
//
// The text is byte for byte what nlohmann's dump(-1, ' ', false, replace) gives
// (invalid UTF-8 becomes U+FFFD), followed by "\n". It is written here rather
// than by dump() because a tool answer can be a whole compiled index of several
// hundred KiB: dump() decodes it one byte at a time into a fresh string, and on
// this kind of machine every fresh page of such a string costs a page fault.
// Strings are checked and escaped in one pass, eight ASCII bytes at a time; the
// rare one that is not valid UTF-8 is left to nlohmann so that its replacement
// characters land exactly as before.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace corvanta {

class JsonLineWriter {
 public:
  // The line for `value`, valid until the next call.
  std::string_view line(const nlohmann::json& value);

  // Appends `text` as a JSON string literal (quotes included) to `out`.
  static void appendString(std::string& out, std::string_view text);

 private:
  void append(const nlohmann::json& value);

  std::string buffer_;
};

}  // namespace corvanta
