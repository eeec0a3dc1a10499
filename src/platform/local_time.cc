#include "platform/local_time.h"

namespace corvanta {

// Placeholder until the date helpers land.
std::optional<TimePoint> parseLocalTime(std::string_view, std::string_view) { return std::nullopt; }
std::string formatLocalTime(TimePoint, std::string_view) { return {}; }
std::string formatMediumDateShortTime(TimePoint) { return {}; }
std::string formatISO8601(TimePoint) { return {}; }
std::optional<TimePoint> parseISO8601(std::string_view) { return std::nullopt; }
std::optional<TimePoint> parseISO8601WithFraction(std::string_view) { return std::nullopt; }
std::optional<TimePoint> addCalendarMonths(TimePoint time, int) { return time; }

}  // namespace corvanta
