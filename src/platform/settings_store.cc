#include "platform/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/atomic_file.h"

namespace corvanta {
namespace {

nlohmann::json readObject(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nlohmann::json::object();
  std::stringstream buffer;
  buffer << in.rdbuf();
  nlohmann::json parsed = nlohmann::json::parse(buffer.str(), nullptr, /*allow_exceptions=*/false);
  return parsed.is_object() ? parsed : nlohmann::json::object();
}

// Holds an exclusive flock on "<settings>.lock" for its lifetime.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {}

nlohmann::json SettingsStore::readAll() const { return readObject(path_); }

std::optional<nlohmann::json> SettingsStore::value(const std::string& key) const {
  nlohmann::json all = readAll();
  auto found = all.find(key);
  if (found == all.end()) return std::nullopt;
  return *found;
}

std::optional<std::string> SettingsStore::string(const std::string& key) const {
  auto found = value(key);
  if (!found || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

std::optional<bool> SettingsStore::boolean(const std::string& key) const {
  auto found = value(key);
  if (!found || !found->is_boolean()) return std::nullopt;
  return found->get<bool>();
}

bool SettingsStore::update(const std::function<bool(nlohmann::json&)>& change) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
  FileLock lock(path_ + ".lock");
  if (!lock.held()) return false;
  nlohmann::json all = readObject(path_);
  if (!change(all)) return true;
  try {
    writeFileAtomically(path_, all.dump(2) + "\n");
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool SettingsStore::set(const std::string& key, nlohmann::json value) {
  return update([&](nlohmann::json& all) {
    all[key] = std::move(value);
    return true;
  });
}

bool SettingsStore::remove(const std::string& key) {
  return update([&](nlohmann::json& all) { return all.erase(key) > 0; });
}

}  // namespace corvanta
