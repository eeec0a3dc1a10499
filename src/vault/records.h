// Plain value records that cross the vault's boundary, with their JSON forms.
// Dates travel as seconds (with fraction) since 2001-01-01T00:00:00Z; an absent
// optional is left out of the object; every other key is required when decoding.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace corvanta {

using TimePoint = std::chrono::system_clock::time_point;

// Seconds since 2001-01-01T00:00:00Z, the reference date of the JSON records.
double secondsSinceReferenceDate(TimePoint time);
TimePoint fromSecondsSinceReferenceDate(double seconds);

struct FileMeta {
  std::string title;
  std::string url;
  std::string domain;
  std::string templateName;  // JSON "template"
  std::string savedAt;       // JSON "saved_at", ISO 8601 text
};

struct SavedFile {
  std::string filename;
  std::string title;
  std::string url;
  std::string domain;
  TimePoint savedAt;
  std::string templateName;  // JSON "template"
};

struct KnowledgeBase {
  std::string name;
  int64_t fileCount = 0;
  std::optional<TimePoint> lastModified;
};

struct SearchResult {
  std::string kb;
  std::string filename;
  std::string title;
  std::string url;
  std::string domain;
  std::vector<std::string> matchingLines;  // JSON "matching_lines"
};

struct WriteFileRequest {
  std::string filename;
  std::string content;
  FileMeta meta;
};

struct EditFileRequest {
  std::string content;
};

struct CreateKBRequest {
  std::string name;
};

struct PingResponse {
  bool ok = true;
  std::string version;
};

// nlohmann conversions. Decoding throws nlohmann::json::exception on a missing
// key or a value of the wrong type.
void to_json(nlohmann::json& j, const FileMeta& value);
void from_json(const nlohmann::json& j, FileMeta& value);
void to_json(nlohmann::json& j, const SavedFile& value);
void from_json(const nlohmann::json& j, SavedFile& value);
void to_json(nlohmann::json& j, const KnowledgeBase& value);
void from_json(const nlohmann::json& j, KnowledgeBase& value);
void to_json(nlohmann::json& j, const SearchResult& value);
void from_json(const nlohmann::json& j, SearchResult& value);
void to_json(nlohmann::json& j, const WriteFileRequest& value);
void from_json(const nlohmann::json& j, WriteFileRequest& value);
void to_json(nlohmann::json& j, const EditFileRequest& value);
void from_json(const nlohmann::json& j, EditFileRequest& value);
void to_json(nlohmann::json& j, const CreateKBRequest& value);
void from_json(const nlohmann::json& j, CreateKBRequest& value);
void to_json(nlohmann::json& j, const PingResponse& value);
void from_json(const nlohmann::json& j, PingResponse& value);

}  // namespace corvanta
