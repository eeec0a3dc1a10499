// Fixes the process's time zone for tests whose expectations depend on it.
#pragma once

#include <string>

namespace corvanta::test {

// Sets TZ (for the C library) and ICU's default zone to the IANA zone `id`,
// e.g. "Europe/Berlin". Date helpers notice the change on their next call.
void useTimeZone(const std::string& id);

}  // namespace corvanta::test
