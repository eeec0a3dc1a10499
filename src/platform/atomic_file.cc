#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <system_error>

namespace corvanta {
namespace {

[[noreturn]] void throwErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

std::string folderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes the directory entry itself durable; a rename is not crash-safe without it.
void syncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string randomSuffix() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix(10, '0');
  for (char& c : suffix) c = kDigits[generator() % 36];
  return suffix;
}

void writeAll(int fd, std::string_view content, const std::string& path) {
  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      throwErrno(path);
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
}

std::string readWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throwErrno(path);
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      errno = saved;
      throwErrno(path);
    }
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return content;
}

}  // namespace

std::string writeTemporarySibling(const std::string& path, std::string_view content) {
  // Hidden, so that folder listings (knowledge bases, pages) never show it.
  const std::string folder = folderOf(path);
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string temporary = folder + "/." + baseOf(path) + "." + randomSuffix() + ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      throwErrno(path);
    }
    try {
      writeAll(fd, content, path);
      if (::fsync(fd) != 0) throwErrno(path);
    } catch (...) {
      ::close(fd);
      ::unlink(temporary.c_str());
      throw;
    }
    if (::close(fd) != 0) {
      int saved = errno;
      ::unlink(temporary.c_str());
      errno = saved;
      throwErrno(path);
    }
    return temporary;
  }
  errno = EEXIST;
  throwErrno(path);
}

void writeFileAtomically(const std::string& path, std::string_view content) {
  std::string temporary = writeTemporarySibling(path, content);
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
    throwErrno(path);
  }
  syncFolder(folderOf(path));
}

bool moveWithoutReplacing(const std::string& source, const std::string& path) {
  if (::link(source.c_str(), path.c_str()) != 0) {
    if (errno == EEXIST) return false;
    if (errno != EXDEV) throwErrno(path);
    // A knowledge base on another file system: copy, then claim the name.
    std::string content = readWholeFile(source);
    if (!createFileExclusively(path, content)) return false;
    ::unlink(source.c_str());
    return true;
  }
  ::unlink(source.c_str());
  syncFolder(folderOf(path));
  return true;
}

bool createFileExclusively(const std::string& path, std::string_view content) {
  std::string temporary = writeTemporarySibling(path, content);
  try {
    bool claimed = moveWithoutReplacing(temporary, path);
    if (!claimed) ::unlink(temporary.c_str());
    return claimed;
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
}

}  // namespace corvanta
