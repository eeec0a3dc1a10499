// A tiny HTTP/1.1 server on 127.0.0.1 with an ephemeral port for tests of
// outgoing requests: it records every request it reads and answers each from a
// handler, or never answers at all to stand in for a server that hangs.
//
// One request per connection; the connection is closed after the answer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace corvanta::test {

struct RecordedRequest {
  std::string method;
  std::string target;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

struct CannedReply {
  int status = 200;
  std::string body;
  std::string contentType = "application/json";
};

class LoopbackHttpServer {
 public:
  // nullopt from the handler: keep the connection open and never answer.
  using Handler = std::function<std::optional<CannedReply>(const RecordedRequest&)>;

  explicit LoopbackHttpServer(Handler handler);
  ~LoopbackHttpServer();  // drops every connection, hung ones included
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(const std::string& path = "") const;

  std::vector<RecordedRequest> requests() const;
  // Waits until at least `count` requests were read; returns whether they were.
  bool waitForRequests(size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

 private:
  void acceptLoop();
  void serve(int connection);

  Handler handler_;
  int listener_ = -1;
  int stopPipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<RecordedRequest> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

}  // namespace corvanta::test
