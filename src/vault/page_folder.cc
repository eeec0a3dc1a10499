#include "vault/page_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/unicode_text.h"
#include "vault/vault_names.h"

namespace corvanta {

std::optional<std::vector<std::string>> listPageFileNames(const std::string& folder) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return std::nullopt;
  std::vector<std::string> names;
  for (auto end = std::filesystem::directory_iterator(); entries != end; entries.increment(error)) {
    if (error) return std::nullopt;
    std::string name = entries->path().filename().string();
    if (isPageFileName(name)) names.push_back(std::move(name));
  }
  if (error) return std::nullopt;
  return names;
}

std::optional<std::string> readUtf8File(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // Sizing the buffer from fstat makes the common case one read into one buffer;
  // the loop still copes with a file that grows or shrinks meanwhile.
  struct stat info {};
  std::string text;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    text.resize(static_cast<size_t>(info.st_size) + 1);
  } else {
    ::close(fd);
    return std::nullopt;
  }
  size_t used = 0;
  for (;;) {
    if (used == text.size()) text.resize(text.size() * 2 + 4096);
    ssize_t got = ::read(fd, text.data() + used, text.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  ::close(fd);
  text.resize(used);
  if (!isValidUtf8(text)) return std::nullopt;
  return text;
}

}  // namespace corvanta
