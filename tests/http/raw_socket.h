// A bare TCP client on 127.0.0.1 for tests that look at the exact bytes the
// server reads and writes.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace corvanta::test {

class RawSocket {
 public:
  explicit RawSocket(uint16_t port);  // connects; check connected()
  ~RawSocket();
  RawSocket(const RawSocket&) = delete;
  RawSocket& operator=(const RawSocket&) = delete;

  bool connected() const { return fd_ >= 0; }
  void send(const std::string& bytes);
  // Tells the server no more bytes will come (half-close).
  void shutdownWrite();
  // Everything until the server closes, or until `timeout`.
  std::string readUntilClosed(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // True when the server closed (EOF or reset) within `timeout` without sending.
  bool closedWithoutReply(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
};

// Sends `segments` with a pause between them (separate TCP segments), then
// reads the whole reply.
std::string sendRequest(uint16_t port, const std::vector<std::string>& segments,
                        std::chrono::milliseconds pause = std::chrono::milliseconds(150));
inline std::string sendRequest(uint16_t port, const std::string& request) {
  return sendRequest(port, std::vector<std::string>{request});
}

// The body of a reply (after the blank line).
std::string replyBody(const std::string& reply);
// The status code of a reply, or 0.
int replyStatus(const std::string& reply);

}  // namespace corvanta::test
