// A shortcut for the date patterns made only of fixed-width numbers, such as
// "yyyyMMdd-HHmm" or "yyyy-MM-dd HH.mm.ss". ICU's pattern parser builds and
// throws away number parsers for every field it reads (over 100 µs for
// abutting fields), and file names are parsed for every page of a listing.
// Reading the digits here and handing the fields to the same non-lenient ICU
// calendar gives ICU's answer: the calendar still rejects impossible dates and
// resolves the time zone. Text that does not fit the shape exactly is left to
// ICU's parser, so nothing is accepted here that ICU would not accept alike.
#pragma once

#include <unicode/calendar.h>

#include <optional>
#include <string_view>
#include <vector>

namespace corvanta {

class NumericDatePattern {
 public:
  // Nothing when the pattern has fields other than yyyy, MM, dd, HH, mm, ss,
  // quotes or non-ASCII literals.
  static std::optional<NumericDatePattern> compile(std::string_view pattern);

  // Sets the fields read from `text` on `calendar` after clearing it; false
  // when the text does not have exactly the pattern's shape.
  bool read(std::string_view text, icu::Calendar& calendar) const;

 private:
  struct Field {
    UCalendarDateFields field;
    int adjustment;  // ICU counts months from 0
  };
  // One character per text position: 'd' for a digit of the next field, any
  // other character for itself.
  std::string shape_;
  std::vector<std::pair<Field, size_t>> fields_;  // with their digit counts
};

}  // namespace corvanta
