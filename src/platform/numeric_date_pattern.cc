#include "platform/numeric_date_pattern.h"

#include <string>

namespace corvanta {
namespace {

struct FieldLetter {
  char letter;
  size_t width;
  UCalendarDateFields field;
  int adjustment;
};

constexpr FieldLetter kFields[] = {
    {'y', 4, UCAL_YEAR, 0},        {'M', 2, UCAL_MONTH, -1}, {'d', 2, UCAL_DATE, 0},
    {'H', 2, UCAL_HOUR_OF_DAY, 0}, {'m', 2, UCAL_MINUTE, 0}, {'s', 2, UCAL_SECOND, 0},
};

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::optional<NumericDatePattern> NumericDatePattern::compile(std::string_view pattern) {
  NumericDatePattern compiled;
  size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (c == '\'' || static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    if (!isAsciiLetter(c)) {
      compiled.shape_.push_back(c);
      ++i;
      continue;
    }
    size_t run = pattern.find_first_not_of(c, i);
    size_t width = (run == std::string_view::npos ? pattern.size() : run) - i;
    const FieldLetter* known = nullptr;
    for (const FieldLetter& field : kFields) {
      if (field.letter == c && field.width == width) known = &field;
    }
    if (known == nullptr) return std::nullopt;
    compiled.shape_.append(width, 'd');
    compiled.fields_.push_back({{known->field, known->adjustment}, width});
    i += width;
  }
  return compiled;
}

bool NumericDatePattern::read(std::string_view text, icu::Calendar& calendar) const {
  if (text.size() != shape_.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape_[i] == 'd' ? !digit : text[i] != shape_[i]) return false;
  }
  calendar.clear();
  size_t at = 0;
  for (const auto& [field, width] : fields_) {
    at = shape_.find('d', at);
    int value = 0;
    for (size_t k = 0; k < width; ++k) value = value * 10 + (text[at + k] - '0');
    calendar.set(field.field, value + field.adjustment);
    at += width;
  }
  return true;
}

}  // namespace corvanta
