#include "support/port_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

namespace corvanta::test {

Port7421Lock::Port7421Lock(std::chrono::seconds patience) {
  int fd = ::open("/tmp/corvanta-vault-port-7421.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::close(fd);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  fd_ = fd;
}

Port7421Lock::~Port7421Lock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace corvanta::test
