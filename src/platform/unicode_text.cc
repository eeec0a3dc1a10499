#include "platform/unicode_text.h"

#include <cctype>

namespace corvanta {

// Placeholder until the Unicode helpers land.
bool isValidUtf8(std::string_view) { return true; }
size_t graphemeCount(std::string_view text) { return text.size(); }
std::string graphemePrefix(std::string_view text, size_t count) {
  return std::string(text.substr(0, count));
}
std::string toLowerCase(std::string_view text) { return std::string(text); }
std::string uppercaseFirstCharacter(std::string_view text) { return std::string(text); }
std::string trimPunctuation(std::string_view text) { return std::string(text); }
bool isAlphanumeric(char32_t c) { return c < 128 && std::isalnum(static_cast<int>(c)); }
bool isLetterOrNumber(char32_t c) { return isAlphanumeric(c); }
std::string_view trimSpacesAndTabs(std::string_view text) { return text; }
std::string_view trimWhitespaceAndNewlines(std::string_view text) { return text; }
std::vector<std::string_view> splitLines(std::string_view text) { return {text}; }
int compareLocalizedCaseInsensitive(std::string_view a, std::string_view b) { return a.compare(b); }
char32_t nextCodePoint(std::string_view text, size_t& offset) {
  return static_cast<unsigned char>(text[offset++]);
}
void appendUtf8(std::string& out, char32_t c) { out.push_back(static_cast<char>(c)); }

}  // namespace corvanta
