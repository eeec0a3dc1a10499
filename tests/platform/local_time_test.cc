#include "platform/local_time.h"

#include <gtest/gtest.h>
#include <unicode/smpdtfmt.h>

#include <cstdlib>

#include "support/time_zone.h"

namespace corvanta {
namespace {

using std::chrono::sys_days;
using namespace std::chrono_literals;

TimePoint utc(int y, unsigned m, unsigned d, std::chrono::seconds time = 0s) {
  return TimePoint(sys_days(std::chrono::year(y) / m / d) + time);
}

class LocalTimeTest : public ::testing::Test {
 protected:
  void SetUp() override { test::useTimeZone("Europe/Berlin"); }
};

TEST_F(LocalTimeTest, FixedPatternsParseInTheUsersZone) {
  EXPECT_EQ(parseLocalTime("20260405-1430", "yyyyMMdd-HHmm"), utc(2026, 4, 5, 12h + 30min));
  EXPECT_EQ(parseLocalTime("2026-01-15 09.05.07", "yyyy-MM-dd HH.mm.ss"),
            utc(2026, 1, 15, 8h + 5min + 7s));
}

TEST_F(LocalTimeTest, StrictParsingRejectsImpossibleAndPartialDates) {
  EXPECT_FALSE(parseLocalTime("20261305-1430", "yyyyMMdd-HHmm"));  // month 13
  EXPECT_FALSE(parseLocalTime("20260230-1430", "yyyyMMdd-HHmm"));  // 30 February
  EXPECT_FALSE(parseLocalTime("20260405-2530", "yyyyMMdd-HHmm"));
  EXPECT_FALSE(parseLocalTime("20260405-1430x", "yyyyMMdd-HHmm"));  // trailing text
  EXPECT_FALSE(parseLocalTime("20260405", "yyyyMMdd-HHmm"));
  EXPECT_FALSE(parseLocalTime("", "yyyyMMdd-HHmm"));
  EXPECT_FALSE(parseLocalTime("not a date", "yyyy-MM-dd"));
}

// All-numeric patterns skip ICU's text parser; the answers must not change,
// around daylight-saving changes and impossible values included.
TEST_F(LocalTimeTest, NumericPatternsAgreeWithIcusParser) {
  auto icuParse = [](const std::string& text,
                     const std::string& pattern) -> std::optional<TimePoint> {
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat format(icu::UnicodeString::fromUTF8(pattern), icu::Locale("en_US_POSIX"),
                                 status);
    format.setLenient(false);
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    icu::ParsePosition position(0);
    UDate date = format.parse(unicode, position);
    if (position.getErrorIndex() != -1 || position.getIndex() != unicode.length()) {
      return std::nullopt;
    }
    // Beyond what a time point holds, the helper answers nothing.
    if (date < -9.2e12 || date > 9.2e12) return std::nullopt;
    return TimePoint(std::chrono::milliseconds(static_cast<int64_t>(date)));
  };
  const char* stamps[] = {
      "2026-03-29 02.30.00", "2026-10-25 02.30.00", "2024-02-29 12.00.00", "2026-02-29 12.00.00",
      "0001-01-01 00.00.00", "0000-06-01 00.00.00", "2026-12-31 23.59.59", "2026-04-05 24.00.00",
      "2026-04-05 14.60.00", "2026-00-05 14.30.00", "2026-04-00 14.30.00",
  };
  for (const char* stamp : stamps) {
    EXPECT_EQ(parseLocalTime(stamp, "yyyy-MM-dd HH.mm.ss"), icuParse(stamp, "yyyy-MM-dd HH.mm.ss"))
        << stamp;
  }
  for (const char* slug : {"20260329-0230", "20261025-0230", "20260405-1430", "20260431-1430"}) {
    EXPECT_EQ(parseLocalTime(slug, "yyyyMMdd-HHmm"), icuParse(slug, "yyyyMMdd-HHmm")) << slug;
  }
  // Text that does not fit the shape exactly goes to ICU's parser.
  EXPECT_EQ(parseLocalTime("2026-4-5", "yyyy-MM-dd"), icuParse("2026-4-5", "yyyy-MM-dd"));
}

TEST_F(LocalTimeTest, FormattingFollowsTheZoneAndNoticesAChange) {
  TimePoint time = utc(2026, 7, 1, 22h + 15min);
  EXPECT_EQ(formatLocalTime(time, "yyyy-MM-dd HH:mm"), "2026-07-02 00:15");
  test::useTimeZone("America/New_York");
  EXPECT_EQ(formatLocalTime(time, "yyyy-MM-dd HH:mm"), "2026-07-01 18:15");
  EXPECT_EQ(parseLocalTime("2026-07-01 18:15", "yyyy-MM-dd HH:mm"), time);
}

TEST_F(LocalTimeTest, MediumDateShortTimeInTheUsersLocale) {
  setenv("LC_ALL", "en_US.UTF-8", 1);
  test::useTimeZone("America/Los_Angeles");  // a zone no other test uses: fresh formatter
  // ICU 72's English time format puts a narrow no-break space before AM/PM.
  EXPECT_EQ(formatMediumDateShortTime(utc(2026, 1, 5, 17h + 41min)), "Jan 5, 2026, 9:41\u202FAM");
  unsetenv("LC_ALL");
}

TEST_F(LocalTimeTest, ISO8601FormatIsUtcWithoutFraction) {
  EXPECT_EQ(formatISO8601(utc(2026, 4, 5, 12h + 30min + 9s) + 999ms), "2026-04-05T12:30:09Z");
  EXPECT_EQ(formatISO8601(TimePoint{}), "1970-01-01T00:00:00Z");
  // Before 1970 the seconds still round down, not toward zero.
  EXPECT_EQ(formatISO8601(TimePoint{} - 500ms), "1969-12-31T23:59:59Z");
}

TEST_F(LocalTimeTest, ISO8601ParsingWithAndWithoutFraction) {
  TimePoint expected = utc(2026, 4, 5, 12h + 30min);
  EXPECT_EQ(parseISO8601("2026-04-05T12:30:00Z"), expected);
  EXPECT_EQ(parseISO8601("2026-04-05T14:30:00+02:00"), expected);
  EXPECT_EQ(parseISO8601("2026-04-05T07:00:00-05:30"), expected);
  EXPECT_FALSE(parseISO8601("2026-04-05T12:30:00.250Z"));
  EXPECT_FALSE(parseISO8601("2026-04-05 12:30:00Z"));
  EXPECT_FALSE(parseISO8601("2026-04-05T12:30:00"));
  EXPECT_FALSE(parseISO8601("2026-02-29T12:30:00Z"));  // not a leap year
  EXPECT_FALSE(parseISO8601("2026-04-05T24:00:00Z"));
  EXPECT_FALSE(parseISO8601("2026-04-05T12:30:00Zjunk"));
  EXPECT_FALSE(parseISO8601("2026-04-05T12:30:00+0200"));
  EXPECT_FALSE(parseISO8601("0001-01-01T00:00:00Z"));  // before a time point's range
  EXPECT_FALSE(parseISO8601("9999-12-31T23:59:59Z"));

  EXPECT_EQ(parseISO8601WithFraction("2026-04-05T12:30:00.250Z"), expected + 250ms);
  EXPECT_EQ(parseISO8601WithFraction("2026-04-05T12:30:00.5+00:00"), expected + 500ms);
  EXPECT_FALSE(parseISO8601WithFraction("2026-04-05T12:30:00Z"));
  EXPECT_FALSE(parseISO8601WithFraction("2026-04-05T12:30:00.Z"));

  EXPECT_EQ(parseISO8601(formatISO8601(expected)), expected);
}

TEST_F(LocalTimeTest, CalendarMonthsClampToTheMonthAndKeepLocalTime) {
  // 31 January 10:00 Berlin plus one month: the last day of February.
  TimePoint jan31 = utc(2026, 1, 31, 9h);
  EXPECT_EQ(addCalendarMonths(jan31, 1), utc(2026, 2, 28, 9h));
  // Across the change to summer time the wall-clock time stays 10:00.
  EXPECT_EQ(addCalendarMonths(utc(2026, 3, 1, 9h), 1), utc(2026, 4, 1, 8h));
  EXPECT_EQ(addCalendarMonths(utc(2026, 3, 15, 9h), -12), utc(2025, 3, 15, 9h));
  EXPECT_EQ(addCalendarMonths(jan31 + 1500us, 0), jan31 + 1500us);
}

}  // namespace
}  // namespace corvanta
