// The per-user settings store: one JSON object in one file, shared by every
// process of the product at once (application, MCP servers, hook runs).
//
// Reads never fail: a missing, unreadable or corrupt file reads as an empty object.
// Every write is a read-modify-write under an exclusive flock on a sibling lock
// file, finished by an atomic replace, so concurrent writers never lose each
// other's keys and readers never see a half-written file.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace corvanta {

class SettingsStore {
 public:
  explicit SettingsStore(std::string path);

  const std::string& path() const { return path_; }

  // The whole object as it is on disk now.
  nlohmann::json readAll() const;

  std::optional<nlohmann::json> value(const std::string& key) const;
  std::optional<std::string> string(const std::string& key) const;  // only JSON strings
  std::optional<bool> boolean(const std::string& key) const;        // only JSON booleans
  bool flag(const std::string& key) const { return boolean(key).value_or(false); }

  // Sets one key. Returns false when the file could not be written.
  bool set(const std::string& key, nlohmann::json value);
  bool remove(const std::string& key);

  // Runs `change` on the current object under the lock and writes the result back
  // (skipped when `change` returns false). Returns false when the write failed.
  bool update(const std::function<bool(nlohmann::json&)>& change);

 private:
  std::string path_;
};

}  // namespace corvanta
