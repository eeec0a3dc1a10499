#include "vault/records.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvanta {
namespace {

using nlohmann::json;

// 2001-01-01T00:00:00Z in Unix time.
constexpr std::chrono::seconds kReferenceDate{978307200};

// The instants a TimePoint can hold, in seconds since the reference date, with
// a margin so that the conversion back never overflows.
constexpr double kLimitSeconds = 8.0e9;

void requireText(const json& j, const char* key, std::string& out) {
  out = j.at(key).get<std::string>();
}

TimePoint decodeDate(const json& j, const char* key) {
  const json& value = j.at(key);
  if (!value.is_number()) {
    throw json::type_error::create(302, std::string("\"") + key + "\" is not a number", &value);
  }
  double seconds = value.get<double>();
  if (!std::isfinite(seconds) || std::fabs(seconds) > kLimitSeconds) {
    throw json::out_of_range::create(406, std::string("\"") + key + "\" is out of range", &value);
  }
  return fromSecondsSinceReferenceDate(seconds);
}

// Integers only: a count of 2.5 is a malformed record, not 2.
int64_t decodeInteger(const json& j, const char* key) {
  const json& value = j.at(key);
  if (value.is_number_integer()) return value.get<int64_t>();
  if (value.is_number_float()) {
    double number = value.get<double>();
    if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 9.0e18) {
      return static_cast<int64_t>(number);
    }
  }
  throw json::type_error::create(302, std::string("\"") + key + "\" is not an integer", &value);
}

}  // namespace

double secondsSinceReferenceDate(TimePoint time) {
  // Subtract in integer nanoseconds first so that the double keeps the fraction.
  auto sinceReference = time.time_since_epoch() - kReferenceDate;
  return std::chrono::duration<double>(sinceReference).count();
}

TimePoint fromSecondsSinceReferenceDate(double seconds) {
  // A TimePoint spans about ±292 years around 1970; beyond ±253 years from the
  // reference date the value saturates instead of overflowing.
  if (std::isnan(seconds)) seconds = 0;
  seconds = std::clamp(seconds, -kLimitSeconds, kLimitSeconds);
  auto sinceReference =
      std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds));
  return TimePoint(kReferenceDate + sinceReference);
}

void to_json(json& j, const FileMeta& value) {
  j = json{{"title", value.title},
           {"url", value.url},
           {"domain", value.domain},
           {"template", value.templateName},
           {"saved_at", value.savedAt}};
}

void from_json(const json& j, FileMeta& value) {
  requireText(j, "title", value.title);
  requireText(j, "url", value.url);
  requireText(j, "domain", value.domain);
  requireText(j, "template", value.templateName);
  requireText(j, "saved_at", value.savedAt);
}

void to_json(json& j, const SavedFile& value) {
  j = json{{"filename", value.filename},
           {"title", value.title},
           {"url", value.url},
           {"domain", value.domain},
           {"savedAt", secondsSinceReferenceDate(value.savedAt)},
           {"template", value.templateName}};
}

void from_json(const json& j, SavedFile& value) {
  requireText(j, "filename", value.filename);
  requireText(j, "title", value.title);
  requireText(j, "url", value.url);
  requireText(j, "domain", value.domain);
  value.savedAt = decodeDate(j, "savedAt");
  requireText(j, "template", value.templateName);
}

void to_json(json& j, const KnowledgeBase& value) {
  j = json{{"name", value.name}, {"fileCount", value.fileCount}};
  if (value.lastModified) j["lastModified"] = secondsSinceReferenceDate(*value.lastModified);
}

void from_json(const json& j, KnowledgeBase& value) {
  requireText(j, "name", value.name);
  value.fileCount = decodeInteger(j, "fileCount");
  // Absent and null both mean "no date".
  value.lastModified.reset();
  if (auto found = j.find("lastModified"); found != j.end() && !found->is_null()) {
    value.lastModified = decodeDate(j, "lastModified");
  }
}

void to_json(json& j, const SearchResult& value) {
  j = json{{"kb", value.kb},         {"filename", value.filename},
           {"title", value.title},   {"url", value.url},
           {"domain", value.domain}, {"matching_lines", value.matchingLines}};
}

void from_json(const json& j, SearchResult& value) {
  requireText(j, "kb", value.kb);
  requireText(j, "filename", value.filename);
  requireText(j, "title", value.title);
  requireText(j, "url", value.url);
  requireText(j, "domain", value.domain);
  value.matchingLines = j.at("matching_lines").get<std::vector<std::string>>();
}

void to_json(json& j, const WriteFileRequest& value) {
  j = json{{"filename", value.filename}, {"content", value.content}, {"meta", value.meta}};
}

void from_json(const json& j, WriteFileRequest& value) {
  requireText(j, "filename", value.filename);
  requireText(j, "content", value.content);
  value.meta = j.at("meta").get<FileMeta>();
}

void to_json(json& j, const EditFileRequest& value) { j = json{{"content", value.content}}; }

void from_json(const json& j, EditFileRequest& value) { requireText(j, "content", value.content); }

void to_json(json& j, const CreateKBRequest& value) { j = json{{"name", value.name}}; }

void from_json(const json& j, CreateKBRequest& value) { requireText(j, "name", value.name); }

void to_json(json& j, const PingResponse& value) {
  j = json{{"ok", value.ok}, {"version", value.version}};
}

void from_json(const json& j, PingResponse& value) {
  value.ok = j.at("ok").get<bool>();
  requireText(j, "version", value.version);
}

}  // namespace corvanta
