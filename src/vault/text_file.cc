#include "vault/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/unicode_text.h"

namespace corvanta {
namespace {

FileIdentity identityFrom(const struct stat& info) {
  FileIdentity identity;
  identity.device = static_cast<uint64_t>(info.st_dev);
  identity.inode = static_cast<uint64_t>(info.st_ino);
  identity.size = static_cast<int64_t>(info.st_size);
  identity.modifiedSeconds = static_cast<int64_t>(info.st_mtim.tv_sec);
  identity.modifiedNanoseconds = static_cast<int64_t>(info.st_mtim.tv_nsec);
  return identity;
}

// Reads to the end of `fd`; false on a read error.
bool readAll(int fd, std::string& out, size_t sizeHint) {
  out.reserve(sizeHint);
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    out.append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace

std::optional<TextFile> readTextFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<TextFile> file;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    TextFile read;
    read.identity = identityFrom(info);
    if (readAll(fd, read.text, static_cast<size_t>(info.st_size)) && isValidUtf8(read.text)) {
      file = std::move(read);
    }
  }
  ::close(fd);
  return file;
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return identityFrom(info);
}

}  // namespace corvanta
