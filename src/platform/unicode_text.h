// Unicode text operations on UTF-8 strings, with ICU's rules: user-perceived
// characters (grapheme clusters), character classes, case mapping and the
// locale-aware comparison used to sort names for people.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

bool isValidUtf8(std::string_view text);
// The length of the well-formed UTF-8 sequence at `offset` (1 to 4), or 0 when
// the bytes there are ill-formed: overlong forms, surrogates and code points
// above U+10FFFF included.
size_t utf8SequenceLength(std::string_view text, size_t offset);

// Number of user-perceived characters (extended grapheme clusters).
size_t graphemeCount(std::string_view text);
// The first `count` user-perceived characters (all of `text` when shorter).
std::string graphemePrefix(std::string_view text, size_t count);

// Full Unicode lower-casing (root locale).
std::string toLowerCase(std::string_view text);
// Upper-cases the first character (full mapping, may lengthen it); rest unchanged.
std::string uppercaseFirstCharacter(std::string_view text);

// Removes characters of the Unicode punctuation categories (Pc Pd Ps Pe Pi Pf Po)
// from both ends.
std::string trimPunctuation(std::string_view text);
// Letters, marks and numbers (categories L*, M*, N*).
bool isAlphanumeric(char32_t codePoint);
bool isLetterOrNumber(char32_t codePoint);  // L* and N* only

// Spaces and tabs at both ends.
std::string_view trimSpacesAndTabs(std::string_view text);
// White space and line breaks (Unicode White_Space) at both ends.
std::string_view trimWhitespaceAndNewlines(std::string_view text);

// Splits at every line-break character: LF, CR, VT, FF, NEL, LS, PS; a CR LF pair
// yields an empty piece between its two breaks.
std::vector<std::string_view> splitLines(std::string_view text);

// The pieces of splitLines one at a time, for callers that stop early or want
// to avoid the vector on long texts.
// The length of the line break that starts at byte `i` ("\n", "\v", "\f", "\r",
// U+0085, U+2028 or U+2029); 0 when none does.
size_t lineBreakLength(std::string_view text, size_t i);

class LineSplitter {
 public:
  explicit LineSplitter(std::string_view text) : text_(text) {}
  // Sets `line` to the next piece; false once every piece has been returned.
  bool next(std::string_view& line);
  // The text after the last piece returned, line breaks and all.
  std::string_view rest() const {
    return done_ ? text_.substr(text_.size()) : text_.substr(offset_);
  }

 private:
  std::string_view text_;
  size_t offset_ = 0;
  bool done_ = false;
};

// <0, 0, >0 like strcmp, ignoring case, in the user's locale (ICU collator).
int compareLocalizedCaseInsensitive(std::string_view a, std::string_view b);

// Decodes one code point at `offset` and advances it; invalid bytes give U+FFFD.
char32_t nextCodePoint(std::string_view text, size_t& offset);
void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace corvanta
