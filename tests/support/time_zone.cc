#include "support/time_zone.h"

#include <unicode/timezone.h>

#include <cstdlib>
#include <ctime>

namespace corvanta::test {

void useTimeZone(const std::string& id) {
  setenv("TZ", id.c_str(), 1);
  tzset();
  icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(id)));
}

}  // namespace corvanta::test
