// Runs a function in a forked child process, for tests of several processes
// sharing one vault. The child starts with only the calling thread; it must not
// rely on threads or locks of the parent, and ends with _exit so no test-runner
// teardown runs twice.
#pragma once

#include <functional>

namespace corvanta::test {

// Forks; the child runs `body` and exits with its result (1 when it throws).
// Returns the child's pid.
int forkChild(const std::function<int()>& body);

// Waits for the child; its exit status, or -signal when a signal ended it.
int waitChild(int pid);

}  // namespace corvanta::test
