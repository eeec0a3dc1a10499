#include "platform/local_time.h"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/icu_defaults.h"
#include "platform/numeric_date_pattern.h"

namespace corvanta {
namespace {

using std::chrono::days;
using std::chrono::milliseconds;
using std::chrono::seconds;

// ICU counts milliseconds in a double; whole milliseconds are exact in it, and
// the sub-millisecond rest is carried around ICU where that matters.
UDate toUDate(TimePoint time) {
  return static_cast<UDate>(std::chrono::floor<milliseconds>(time).time_since_epoch().count());
}

// A nanosecond time point covers the years 1677 to 2262; dates outside, such
// as a file named for the year 1, are no dates rather than an overflow. The
// day of margin leaves room for the sub-second rests added afterwards.
constexpr int64_t kMaxSeconds = std::numeric_limits<int64_t>::max() / 1'000'000'000 - 86'400;

bool representable(seconds sinceEpoch) {
  return sinceEpoch.count() >= -kMaxSeconds && sinceEpoch.count() <= kMaxSeconds;
}

std::optional<TimePoint> fromUDate(UDate date) {
  if (!std::isfinite(date) || std::fabs(date / 1000) > static_cast<double>(kMaxSeconds)) {
    return std::nullopt;
  }
  return TimePoint(
      std::chrono::duration_cast<TimePoint::duration>(milliseconds(static_cast<int64_t>(date))));
}

icu::UnicodeString fromUtf8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

// A pattern's ICU formatter, with the shortcut for all-numeric patterns and
// the formatter's own calendar for it.
struct PatternFormat {
  std::unique_ptr<icu::SimpleDateFormat> format;
  std::optional<NumericDatePattern> numeric;
  std::unique_ptr<icu::Calendar> calendar;
};

// Formatters are costly to build and not safe to share while parsing, so each
// thread keeps one per pattern. Callers use a handful of constant patterns;
// the bound only guards against a caller that builds patterns from data.
PatternFormat* patternFormat(std::string_view pattern) {
  struct Cache {
    DefaultZoneTracker zone;
    std::unordered_map<std::string, PatternFormat> formats;
  };
  constexpr size_t kMaxPatterns = 32;
  thread_local Cache cache;
  if (cache.zone.changed()) cache.formats.clear();
  std::string key(pattern);
  if (auto found = cache.formats.find(key); found != cache.formats.end()) return &found->second;
  UErrorCode status = U_ZERO_ERROR;
  PatternFormat entry;
  entry.format = std::make_unique<icu::SimpleDateFormat>(fromUtf8(pattern),
                                                         icu::Locale("en_US_POSIX"), status);
  if (U_FAILURE(status)) return nullptr;
  entry.format->setLenient(false);  // also makes its calendar non-lenient
  entry.format->setTimeZone(cache.zone.zone());
  entry.numeric = NumericDatePattern::compile(pattern);
  if (entry.numeric) entry.calendar.reset(entry.format->getCalendar()->clone());
  if (cache.formats.size() >= kMaxPatterns) cache.formats.clear();
  return &cache.formats.emplace(std::move(key), std::move(entry)).first->second;
}

// Reads exactly `count` ASCII digits at `offset`.
bool readDigits(std::string_view text, size_t& offset, size_t count, int& value) {
  if (offset + count > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    char c = text[offset + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  offset += count;
  return true;
}

bool readChar(std::string_view text, size_t& offset, char expected) {
  if (offset >= text.size() || text[offset] != expected) return false;
  ++offset;
  return true;
}

// RFC 3339 date-time: yyyy-MM-ddTHH:mm:ss[.fraction](Z|±hh:mm). `withFraction`
// says whether the fraction must be present (true) or absent (false).
std::optional<TimePoint> parseInternetDateTime(std::string_view text, bool withFraction) {
  size_t at = 0;
  int year, month, day, hour, minute, second;
  if (!readDigits(text, at, 4, year) || !readChar(text, at, '-') ||
      !readDigits(text, at, 2, month) || !readChar(text, at, '-') ||
      !readDigits(text, at, 2, day) || !readChar(text, at, 'T') || !readDigits(text, at, 2, hour) ||
      !readChar(text, at, ':') || !readDigits(text, at, 2, minute) || !readChar(text, at, ':') ||
      !readDigits(text, at, 2, second)) {
    return std::nullopt;
  }
  std::chrono::nanoseconds fraction{0};
  if (withFraction) {
    if (!readChar(text, at, '.')) return std::nullopt;
    size_t digits = 0;
    int64_t scale = 100'000'000;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      fraction += std::chrono::nanoseconds((text[at] - '0') * scale);
      scale /= 10;
      ++at;
      ++digits;
    }
    if (digits == 0) return std::nullopt;
  }
  seconds offset{0};
  if (readChar(text, at, 'Z')) {
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    int sign = text[at++] == '-' ? -1 : 1;
    int offsetHours, offsetMinutes;
    if (!readDigits(text, at, 2, offsetHours) || !readChar(text, at, ':') ||
        !readDigits(text, at, 2, offsetMinutes) || offsetHours > 23 || offsetMinutes > 59) {
      return std::nullopt;
    }
    offset = sign * (std::chrono::hours(offsetHours) + std::chrono::minutes(offsetMinutes));
  } else {
    return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;

  std::chrono::year_month_day date{std::chrono::year(year),
                                   std::chrono::month(static_cast<unsigned>(month)),
                                   std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  auto local = std::chrono::sys_days(date) + std::chrono::hours(hour) +
               std::chrono::minutes(minute) + seconds(second);
  seconds sinceEpoch = (local - offset).time_since_epoch();
  if (!representable(sinceEpoch)) return std::nullopt;
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(sinceEpoch + fraction));
}

}  // namespace

std::optional<TimePoint> parseLocalTime(std::string_view text, std::string_view pattern) {
  PatternFormat* entry = patternFormat(pattern);
  if (entry == nullptr) return std::nullopt;
  if (entry->numeric && entry->calendar && entry->numeric->read(text, *entry->calendar)) {
    UErrorCode status = U_ZERO_ERROR;
    UDate date = entry->calendar->getTime(status);
    if (U_FAILURE(status)) return std::nullopt;
    return fromUDate(date);
  }
  icu::UnicodeString unicode = fromUtf8(text);
  icu::ParsePosition position(0);
  UDate date = entry->format->parse(unicode, position);
  // Strict means all of it: a date followed by anything else is not a date.
  if (position.getErrorIndex() != -1 || position.getIndex() == 0 ||
      position.getIndex() != unicode.length()) {
    return std::nullopt;
  }
  return fromUDate(date);
}

std::string formatLocalTime(TimePoint time, std::string_view pattern) {
  PatternFormat* entry = patternFormat(pattern);
  if (entry == nullptr) return {};
  icu::UnicodeString unicode;
  entry->format->format(toUDate(time), unicode);
  std::string out;
  return unicode.toUTF8String(out);
}

std::string formatMediumDateShortTime(TimePoint time) {
  struct Cache {
    DefaultZoneTracker zone;
    std::unique_ptr<icu::DateFormat> format;
  };
  thread_local Cache cache;
  if (cache.zone.changed() || !cache.format) {
    cache.format.reset(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, userLocale("LC_TIME", "en_US_POSIX")));
    if (!cache.format) return {};
    cache.format->setTimeZone(cache.zone.zone());
  }
  icu::UnicodeString unicode;
  cache.format->format(toUDate(time), unicode);
  std::string out;
  return unicode.toUTF8String(out);
}

std::string formatISO8601(TimePoint time) {
  auto whole = std::chrono::floor<seconds>(time);
  auto day = std::chrono::floor<days>(whole);
  std::chrono::year_month_day date(day);
  std::chrono::hh_mm_ss clock(whole - day);
  // Written by hand: this runs for every page of a listing.
  std::string out = "0000-00-00T00:00:00Z";
  auto put = [&out](size_t at, size_t width, int64_t value) {
    for (size_t i = width; i-- > 0; value /= 10) out[at + i] = static_cast<char>('0' + value % 10);
  };
  // A nanosecond time point only reaches the years 1677 to 2262.
  put(0, 4, static_cast<int>(date.year()));
  put(5, 2, static_cast<unsigned>(date.month()));
  put(8, 2, static_cast<unsigned>(date.day()));
  put(11, 2, clock.hours().count());
  put(14, 2, clock.minutes().count());
  put(17, 2, clock.seconds().count());
  return out;
}

std::optional<TimePoint> parseISO8601(std::string_view text) {
  return parseInternetDateTime(text, false);
}

std::optional<TimePoint> parseISO8601WithFraction(std::string_view text) {
  return parseInternetDateTime(text, true);
}

std::optional<TimePoint> addCalendarMonths(TimePoint time, int months) {
  struct Cache {
    DefaultZoneTracker zone;
    std::unique_ptr<icu::Calendar> calendar;
  };
  thread_local Cache cache;
  if (cache.zone.changed() || !cache.calendar) {
    UErrorCode status = U_ZERO_ERROR;
    cache.calendar.reset(icu::Calendar::createInstance(
        cache.zone.zone(), userLocale("LC_TIME", "en_US_POSIX"), status));
    if (U_FAILURE(status)) cache.calendar.reset();
    if (!cache.calendar) return std::nullopt;
  }
  UErrorCode status = U_ZERO_ERROR;
  auto whole = std::chrono::floor<milliseconds>(time);
  cache.calendar->setTime(toUDate(time), status);
  cache.calendar->add(UCAL_MONTH, months, status);
  UDate moved = cache.calendar->getTime(status);
  if (U_FAILURE(status)) return std::nullopt;
  std::optional<TimePoint> result = fromUDate(moved);
  if (!result) return std::nullopt;
  return *result + (time - whole);
}

}  // namespace corvanta
