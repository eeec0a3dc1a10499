// The application's HTTP port is fixed (7421), and several build trees on one
// machine may run their tests at the same time. Tests that start the real
// application, or a stdio server that probes that port, hold this machine-wide
// lock while they run so they never see each other's application.
#pragma once

#include <chrono>

namespace corvanta::test {

class Port7421Lock {
 public:
  // Waits (up to `patience`) for the lock; check held().
  explicit Port7421Lock(std::chrono::seconds patience = std::chrono::seconds(240));
  ~Port7421Lock();
  Port7421Lock(const Port7421Lock&) = delete;
  Port7421Lock& operator=(const Port7421Lock&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace corvanta::test
