#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace corvanta::test {
namespace {

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t\r");
  return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

// Reads what is available into `data`; false on end, error or stop.
bool readSome(int fd, int stopFd, std::string& data) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
  if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN)) return false;
  char buffer[16384];
  ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n <= 0) return false;
  data.append(buffer, static_cast<size_t>(n));
  return true;
}

std::optional<RecordedRequest> readRequest(int fd, int stopFd) {
  std::string data;
  size_t headEnd;
  while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
    if (!readSome(fd, stopFd, data)) return std::nullopt;
  }
  RecordedRequest request;
  std::string head = data.substr(0, headEnd);
  size_t lineEnd = head.find("\r\n");
  std::string requestLine = head.substr(0, lineEnd);
  size_t space1 = requestLine.find(' ');
  size_t space2 = requestLine.find(' ', space1 + 1);
  request.method = requestLine.substr(0, space1);
  request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
  while (lineEnd != std::string::npos) {
    size_t next = head.find("\r\n", lineEnd + 2);
    std::string line = head.substr(
        lineEnd + 2, next == std::string::npos ? std::string::npos : next - lineEnd - 2);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      request.headers[lowered(line.substr(0, colon))] = trimmed(line.substr(colon + 1));
    }
    lineEnd = next;
  }
  size_t length = 0;
  if (auto found = request.headers.find("content-length"); found != request.headers.end()) {
    length = std::stoul(found->second);
  }
  request.body = data.substr(headEnd + 4);
  while (request.body.size() < length) {
    if (!readSome(fd, stopFd, request.body)) return std::nullopt;
  }
  return request;
}

void writeAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
  if (::pipe(stopPipe_) != 0) throw std::runtime_error("pipe failed");
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener_, 64) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  char stop = 1;
  (void)!::write(stopPipe_[1], &stop, 1);
  acceptor_.join();
  for (std::thread& connection : connections_) connection.join();
  ::close(listener_);
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

std::string LoopbackHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<RecordedRequest> LoopbackHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool LoopbackHttpServer::waitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void LoopbackHttpServer::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN)) return;
    int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    // Only this thread touches connections_ until the destructor joins it.
    connections_.emplace_back([this, connection] { serve(connection); });
  }
}

void LoopbackHttpServer::serve(int connection) {
  std::optional<RecordedRequest> request = readRequest(connection, stopPipe_[0]);
  if (request) {
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(*request);
    }
    arrived_.notify_all();
    std::optional<CannedReply> reply = handler_(*request);
    if (reply) {
      writeAll(connection, "HTTP/1.1 " + std::to_string(reply->status) + " Canned\r\n" +
                               "Content-Type: " + reply->contentType + "\r\n" +
                               "Content-Length: " + std::to_string(reply->body.size()) +
                               "\r\nConnection: close\r\n\r\n" + reply->body);
    } else {
      // Hang: hold the connection until the server goes away.
      pollfd stop = {stopPipe_[0], POLLIN, 0};
      ::poll(&stop, 1, -1);
    }
  }
  ::close(connection);
}

}  // namespace corvanta::test
