#include "platform/local_time.h"

#include <gtest/gtest.h>

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
