#include "raw_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace corvanta::test {

using Clock = std::chrono::steady_clock;

RawSocket::RawSocket(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

RawSocket::~RawSocket() {
  if (fd_ >= 0) ::close(fd_);
}

void RawSocket::send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t count = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) return;
    sent += static_cast<size_t>(count);
  }
}

void RawSocket::shutdownWrite() { ::shutdown(fd_, SHUT_WR); }

std::string RawSocket::readUntilClosed(std::chrono::milliseconds timeout) {
  std::string received;
  const auto deadline = Clock::now() + timeout;
  char buffer[65536];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return received;
    pollfd poller{fd_, POLLIN, 0};
    if (::poll(&poller, 1, static_cast<int>(left.count())) <= 0) return received;
    ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
    if (count <= 0) return received;
    received.append(buffer, static_cast<size_t>(count));
  }
}

bool RawSocket::closedWithoutReply(std::chrono::milliseconds timeout) {
  pollfd poller{fd_, POLLIN, 0};
  if (::poll(&poller, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char byte;
  return ::recv(fd_, &byte, 1, 0) <= 0;
}

std::string sendRequest(uint16_t port, const std::vector<std::string>& segments,
                        std::chrono::milliseconds pause) {
  RawSocket socket(port);
  if (!socket.connected()) return "";
  for (size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(pause);
    socket.send(segments[i]);
  }
  return socket.readUntilClosed();
}

std::string replyBody(const std::string& reply) {
  size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? "" : reply.substr(end + 4);
}

int replyStatus(const std::string& reply) {
  if (!reply.starts_with("HTTP/1.1 ") || reply.size() < 12) return 0;
  return std::stoi(reply.substr(9, 3));
}

}  // namespace corvanta::test
