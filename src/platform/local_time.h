// Dates as people and files write them: fixed patterns in the user's time zone,
// the user's locale's medium date and short time, ISO 8601 internet date-times,
// and calendar arithmetic. ICU does the work; "the user's time zone" is ICU's
// default zone (TZ or /etc/localtime), "the user's locale" its default locale
// (LC_ALL / LC_TIME / LANG).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace corvanta {

using TimePoint = std::chrono::system_clock::time_point;

// Strict parse of `text` (the whole text) with an ICU pattern such as
// "yyyy-MM-dd HH.mm.ss", in the user's time zone with the en_US_POSIX locale.
// Impossible dates (month 13) give nothing.
std::optional<TimePoint> parseLocalTime(std::string_view text, std::string_view pattern);
// Formats with an ICU pattern in the user's time zone with en_US_POSIX.
std::string formatLocalTime(TimePoint time, std::string_view pattern);
// Medium date style and short time style in the user's locale and time zone
// ("Jan 5, 2026, 9:41 AM" in US English).
std::string formatMediumDateShortTime(TimePoint time);

// yyyy-MM-dd'T'HH:mm:ss'Z' (UTC, no fraction).
std::string formatISO8601(TimePoint time);
// ISO 8601 internet date-time without fractional seconds (Z or ±hh:mm offset).
std::optional<TimePoint> parseISO8601(std::string_view text);
// The same with fractional seconds required.
std::optional<TimePoint> parseISO8601WithFraction(std::string_view text);

// `time` moved by `months` calendar months in the user's calendar and time zone.
std::optional<TimePoint> addCalendarMonths(TimePoint time, int months);

}  // namespace corvanta
