#include "support/forked_child.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <stdexcept>

namespace corvanta::test {

int forkChild(const std::function<int()>& body) {
  std::fflush(nullptr);  // buffered output would otherwise be written twice
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid > 0) return pid;
  int status = 1;
  try {
    status = body();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "child failed: %s\n", error.what());
  } catch (...) {
  }
  std::fflush(nullptr);
  ::_exit(status);
}

int waitChild(int pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1000;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return -WTERMSIG(status);
  return -1000;
}

}  // namespace corvanta::test
