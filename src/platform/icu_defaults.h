// How this process picks ICU's defaults, kept in one place so that every ICU
// object built by the platform layer agrees on them.
//
// Locale: ICU on its own reads LC_MESSAGES, which says nothing about how the
// user wants dates written or names sorted. The platform layer asks for the
// POSIX category that governs the job instead (LC_ALL, then the category, then
// LANG). "C", "POSIX" and unset give the caller's fallback: en_US_POSIX suits
// dates, but its collation orders ASCII by code point, so sorting falls back to
// the root locale.
//
// Time zone: ICU's default zone, which ICU reads once from TZ or /etc/localtime.
// A process that changes it later (tests do) calls icu::TimeZone::adoptDefault;
// formatters cached per thread compare the zone they were built with against
// the current default on every use and rebuild when it differs.
#pragma once

#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <memory>

namespace corvanta {

// `category` is the POSIX environment variable that governs the job, such as
// "LC_TIME" or "LC_COLLATE"; `fallback` is an ICU locale id ("" is root).
icu::Locale userLocale(const char* category, const char* fallback);

// Follows ICU's default time zone for one cached formatter or calendar.
class DefaultZoneTracker {
 public:
  // True on the first call and whenever the default zone has changed since.
  bool changed();
  // The zone seen by the last call to changed().
  const icu::TimeZone& zone() const { return *zone_; }

 private:
  std::unique_ptr<icu::TimeZone> zone_;
};

}  // namespace corvanta
