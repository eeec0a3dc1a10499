#include "mcp/vault_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "platform/unicode_text.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

// Closes the descriptor on every path out of readUtf8File.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The whole regular file at `path` when it is valid UTF-8.
std::optional<std::string> readUtf8File(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return std::nullopt;
  struct stat info {};
  // A folder opens fine on Linux but is not a file anyone can read text from.
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;

  std::string text;
  text.reserve(static_cast<size_t>(info.st_size));
  char buffer[64 * 1024];
  for (;;) {
    ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    text.append(buffer, static_cast<size_t>(count));
  }
  if (!isValidUtf8(text)) return std::nullopt;
  return text;
}

}  // namespace

std::optional<VaultFileText> readVaultFile(const KestFileManager& store, const std::string& kb,
                                           const std::string& filename) {
  std::string path;
  try {
    path = store.resolvedPath(kb, filename);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  std::optional<std::string> text = readUtf8File(path);
  if (!text) return std::nullopt;
  return VaultFileText{std::move(path), std::move(*text)};
}

}  // namespace corvanta
