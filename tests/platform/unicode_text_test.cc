#include "platform/unicode_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace corvanta {
namespace {

using Pieces = std::vector<std::string_view>;

TEST(UnicodeTextTest, GraphemesCountUserPerceivedCharacters) {
  EXPECT_EQ(graphemeCount(""), 0u);
  EXPECT_EQ(graphemeCount("abc"), 3u);
  EXPECT_EQ(graphemeCount("a\r\nb"), 3u);  // CR LF is one character
  EXPECT_EQ(graphemeCount("\n\r"), 2u);
  EXPECT_EQ(graphemeCount("e\u0301"), 1u);                                     // combining accent
  EXPECT_EQ(graphemeCount("\U0001F44D\U0001F3FD"), 1u);                        // skin tone
  EXPECT_EQ(graphemeCount("\U0001F468\u200D\U0001F469\u200D\U0001F467"), 1u);  // ZWJ family
  EXPECT_EQ(graphemeCount("\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7"), 2u);    // two flags
  EXPECT_EQ(graphemeCount("\U0001F43F\uFE0F x"), 3u);
}

TEST(UnicodeTextTest, GraphemePrefixNeverSplitsACharacter) {
  EXPECT_EQ(graphemePrefix("hello", 3), "hel");
  EXPECT_EQ(graphemePrefix("hello", 10), "hello");
  EXPECT_EQ(graphemePrefix("hello", 0), "");
  EXPECT_EQ(graphemePrefix("a\r\nb", 2), "a\r\n");
  // The ASCII letter before a combining mark takes the mark with it.
  EXPECT_EQ(graphemePrefix("ae\u0301z", 2), "ae\u0301");
  EXPECT_EQ(graphemePrefix("\U0001F44D\U0001F3FDok", 1), "\U0001F44D\U0001F3FD");
  EXPECT_EQ(graphemePrefix("日本語", 2), "日本");
  // Cut exactly at the end of an ASCII run followed by more ASCII.
  EXPECT_EQ(graphemePrefix("ab\u00e9", 2), "ab");
}

TEST(UnicodeTextTest, CaseMappingIsFullAndLocaleNeutral) {
  EXPECT_EQ(toLowerCase("Hello World"), "hello world");
  EXPECT_EQ(toLowerCase("ÄÖÜ İstanbul"), "äöü i\u0307stanbul");  // root, not Turkish
  EXPECT_EQ(toLowerCase("ΣΟΦΟΣ"), "σοφος");                      // final sigma
  EXPECT_EQ(uppercaseFirstCharacter("react docs"), "React docs");
  EXPECT_EQ(uppercaseFirstCharacter("ßtraße"), "SStraße");  // full mapping lengthens
  EXPECT_EQ(uppercaseFirstCharacter("élan"), "Élan");
  EXPECT_EQ(uppercaseFirstCharacter("e\u0301lan"), "E\u0301lan");
  EXPECT_EQ(uppercaseFirstCharacter("1abc"), "1abc");
  EXPECT_EQ(uppercaseFirstCharacter(""), "");
}

TEST(UnicodeTextTest, PunctuationTrimmingStopsAtOtherCategories) {
  EXPECT_EQ(trimPunctuation("\"hello,\""), "hello");
  EXPECT_EQ(trimPunctuation("«¿Qué?»"), "Qué");
  EXPECT_EQ(trimPunctuation("(c++)"), "c++");  // '+' is a math symbol, not punctuation
  EXPECT_EQ(trimPunctuation("$5."), "$5");
  EXPECT_EQ(trimPunctuation("—…"), "");
  EXPECT_EQ(trimPunctuation("a-b"), "a-b");
}

TEST(UnicodeTextTest, CharacterClasses) {
  EXPECT_TRUE(isAlphanumeric(U'a'));
  EXPECT_TRUE(isAlphanumeric(U'\u0301'));  // marks count
  EXPECT_FALSE(isLetterOrNumber(U'\u0301'));
  EXPECT_TRUE(isLetterOrNumber(U'\u0663'));  // Arabic-Indic three
  EXPECT_TRUE(isLetterOrNumber(U'\u00BD'));  // ½ is a number (No)
  EXPECT_TRUE(isLetterOrNumber(U'語'));
  EXPECT_FALSE(isAlphanumeric(U'_'));
  EXPECT_FALSE(isAlphanumeric(U' '));
  EXPECT_FALSE(isAlphanumeric(U'\U0001F600'));
}

TEST(UnicodeTextTest, Trimming) {
  EXPECT_EQ(trimSpacesAndTabs(" \t a b \t"), "a b");
  EXPECT_EQ(trimSpacesAndTabs("\na\n"), "\na\n");
  EXPECT_EQ(trimSpacesAndTabs(" \t "), "");
  EXPECT_EQ(trimWhitespaceAndNewlines("\u00A0\r\n a b\u2028\u3000"), "a b");
  EXPECT_EQ(trimWhitespaceAndNewlines("\n\n"), "");
  EXPECT_EQ(trimWhitespaceAndNewlines("x"), "x");
}

TEST(UnicodeTextTest, SplitLinesBreaksAtEveryLineBreakCharacter) {
  EXPECT_EQ(splitLines(""), Pieces{""});
  EXPECT_EQ(splitLines("a\nb\n"), (Pieces{"a", "b", ""}));
  EXPECT_EQ(splitLines("a\r\nb"), (Pieces{"a", "", "b"}));
  EXPECT_EQ(splitLines("a\vb\fc\rd"), (Pieces{"a", "b", "c", "d"}));
  EXPECT_EQ(splitLines("a\u0085b\u2028c\u2029d"), (Pieces{"a", "b", "c", "d"}));
  // Neighbours of the multi-byte breaks are not breaks.
  EXPECT_EQ(splitLines("\u00C5\u2027\u202A"), Pieces{"\u00C5\u2027\u202A"});
  LineSplitter splitter("one\r\ntwo\nthree");
  std::string_view line;
  ASSERT_TRUE(splitter.next(line));
  EXPECT_EQ(line, "one");
  EXPECT_EQ(splitter.rest(), "\ntwo\nthree");
  // A truncated sequence at the end is left alone.
  EXPECT_EQ(splitLines("a\xE2\x80"), Pieces{"a\xE2\x80"});
}

TEST(UnicodeTextTest, LocalizedComparisonIgnoresCaseButNotAccents) {
  EXPECT_EQ(compareLocalizedCaseInsensitive("Apple", "apple"), 0);
  EXPECT_LT(compareLocalizedCaseInsensitive("apple", "Banana"), 0);
  EXPECT_GT(compareLocalizedCaseInsensitive("zebra", "Äpfel"), 0);
  EXPECT_NE(compareLocalizedCaseInsensitive("resume", "résumé"), 0);
  EXPECT_GT(compareLocalizedCaseInsensitive("file2", "File10"), 0);  // not numeric
}

TEST(UnicodeTextTest, Utf8DecodingAndEncoding) {
  std::string text =
      "a\u00e9\U0001F600\xFF"
      "b";
  size_t offset = 0;
  std::vector<char32_t> decoded;
  while (offset < text.size()) decoded.push_back(nextCodePoint(text, offset));
  EXPECT_EQ(decoded, (std::vector<char32_t>{U'a', U'\u00e9', U'\U0001F600', U'\uFFFD', U'b'}));

  // Truncated sequence at the very end must not read past the text.
  std::string truncated = "\xF0\x9F\x98";
  offset = 0;
  EXPECT_EQ(nextCodePoint(truncated, offset), U'\uFFFD');
  EXPECT_LE(offset, truncated.size());

  std::string out;
  for (char32_t c : {U'a', U'\u00e9', U'\U0001F600'}) appendUtf8(out, c);
  appendUtf8(out, 0xD800);  // lone surrogate is not encodable
  EXPECT_EQ(out, "a\u00e9\U0001F600\uFFFD");

  EXPECT_TRUE(isValidUtf8("plain \u00e9 \U0001F600"));
  EXPECT_FALSE(isValidUtf8("\xC3"));
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));            // overlong
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));        // surrogate
  EXPECT_FALSE(isValidUtf8("ok\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(isValidUtf8(std::string(20, 'a') + "\xC3" + std::string(20, 'b')));
  EXPECT_TRUE(isValidUtf8(std::string(21, 'a') + "\u00e9" + std::string(13, 'b')));
}

TEST(UnicodeTextTest, InvalidUtf8IsHandledWithoutOverruns) {
  std::string bad = "\xE2\x80 x \xF0";
  EXPECT_EQ(trimPunctuation(bad), bad);
  EXPECT_EQ(trimWhitespaceAndNewlines(" \xF0"), "\xF0");
  EXPECT_GE(graphemeCount(bad), 3u);
  EXPECT_FALSE(toLowerCase(bad).empty());
}

}  // namespace
}  // namespace corvanta
