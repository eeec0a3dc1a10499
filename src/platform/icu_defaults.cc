#include "platform/icu_defaults.h"

#include <cstdlib>
#include <string>

namespace corvanta {

icu::Locale userLocale(const char* category, const char* fallback) {
  const char* name = nullptr;
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      name = value;
      break;
    }
  }
  if (name == nullptr) return icu::Locale(fallback);
  // "de_DE.UTF-8@euro": the code set and modifier are not part of ICU's name.
  std::string id(name);
  id = id.substr(0, id.find_first_of(".@"));
  if (id.empty() || id == "C" || id == "POSIX") return icu::Locale(fallback);
  return icu::Locale(id.c_str());
}

bool DefaultZoneTracker::changed() {
  std::unique_ptr<icu::TimeZone> current(icu::TimeZone::createDefault());
  // Equality compares the id and the rules, so a zone set up again under the
  // same name does not force a rebuild.
  if (zone_ && *zone_ == *current) return false;
  zone_ = std::move(current);
  return true;
}

}  // namespace corvanta
