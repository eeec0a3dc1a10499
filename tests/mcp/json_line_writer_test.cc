#include "mcp/json_line_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace corvanta {
namespace {

using json = nlohmann::json;

// What the server wrote before it had its own writer.
std::string reference(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

void expectSameAsReference(const json& value) {
  JsonLineWriter writer;
  EXPECT_EQ(writer.line(value), reference(value)) << reference(value);
}

// The byte at every offset of a long run, so both the eight-byte scan and the
// byte-by-byte tail see it.
std::vector<std::string> placedAtEveryOffset(const std::string& special) {
  std::vector<std::string> texts;
  for (size_t offset = 0; offset < 20; ++offset) {
    texts.push_back(std::string(offset, 'a') + special + std::string(19 - offset, 'b'));
  }
  return texts;
}

TEST(JsonLineWriterTest, EscapesLikeNlohmannForEveryAsciiByte) {
  for (int byte = 0; byte < 0x80; ++byte) {
    for (const std::string& text : placedAtEveryOffset(std::string(1, static_cast<char>(byte)))) {
      expectSameAsReference(text);
    }
  }
}

TEST(JsonLineWriterTest, KeepsValidNonAsciiText) {
  for (const std::string special : {"é", "€", "😀", "\u2028", "\xC2\x80", "\xF4\x8F\xBF\xBF"}) {
    for (const std::string& text : placedAtEveryOffset(special)) expectSameAsReference(text);
  }
}

TEST(JsonLineWriterTest, ReplacesInvalidUtf8LikeNlohmann) {
  const std::vector<std::string> invalid = {
      "\x80",              // lone continuation byte
      "\xC3",              // sequence cut short by the end
      "\xC3(",             // sequence cut short by an ASCII byte
      "\xC0\x80",          // overlong NUL
      "\xED\xA0\x80",      // UTF-16 surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xFF\xFE",          // never valid
      "\xE2\x82",          // three-byte sequence missing its last byte
  };
  for (const std::string& special : invalid) {
    for (const std::string& text : placedAtEveryOffset(special)) expectSameAsReference(text);
    expectSameAsReference(special);
    expectSameAsReference(special + "\"\n" + special);
  }
}

TEST(JsonLineWriterTest, WritesEveryKindOfValueLikeNlohmann) {
  expectSameAsReference(json::object());
  expectSameAsReference(json::array());
  expectSameAsReference("");
  expectSameAsReference(nullptr);
  expectSameAsReference(true);
  expectSameAsReference(
      {{"jsonrpc", "2.0"},
       {"id", -42},
       {"big", 18446744073709551615ull},
       {"min", INT64_MIN},
       {"float", 0.1},
       {"whole float", 3.0},
       {"list", {1, "two", nullptr, false, json::array(), json::object()}},
       {"ke\"y\n\x01", {{"nested", {{"deeper", "text with \"quotes\" and \\slashes/"}}}}},
       {"bad\xFF key", "bad \xC3 value"}});
}

TEST(JsonLineWriterTest, RandomTextMatchesNlohmann) {
  // Mostly ASCII with escapes, multi-byte characters and broken bytes mixed in,
  // at random lengths: what pages saved from the web look like at their worst.
  const std::vector<std::string> pieces = {"a", "word ", "\n", "\t",   "\"",   "\\",   "/",
                                           "é", "€",     "😀",  "\x01", "\x7F", "\xC3", "\x80"};
  std::mt19937 random(7);
  JsonLineWriter writer;  // reused, as the server reuses it
  for (int round = 0; round < 2000; ++round) {
    // Every other round without the broken bytes (the last two pieces), so that
    // both the fast path and the fallback see many texts.
    const size_t choices = round % 2 ? pieces.size() : pieces.size() - 2;
    std::string text;
    const size_t count = random() % 80;
    for (size_t i = 0; i < count; ++i) text += pieces[random() % choices];
    const json value = {{"text", text}};
    ASSERT_EQ(writer.line(value), reference(value)) << reference(value);
  }
}

TEST(JsonLineWriterTest, ALongerLineAfterAShorterOneIsWhole) {
  JsonLineWriter writer;
  const std::string large(300 * 1024, 'x');
  const std::string huge(6 << 20, 'y');  // beyond what the writer keeps
  EXPECT_EQ(writer.line("short"), "\"short\"\n");
  EXPECT_EQ(writer.line(large), "\"" + large + "\"\n");
  EXPECT_EQ(writer.line(huge), "\"" + huge + "\"\n");
  EXPECT_EQ(writer.line(large), "\"" + large + "\"\n");
  EXPECT_EQ(writer.line(1), "1\n");
}

}  // namespace
}  // namespace corvanta
