// HTTPServer: the local API's transport, an HTTP/1.1 listener on 127.0.0.1.
//
// Every connection carries exactly one request and one reply, then closes; there
// is no keep-alive, no chunked coding, no TLS. A request is taken in at most two
// reads: one of whatever has arrived (up to 10 MiB), then, when the head
// announces a Content-Length that the first read did not complete, one more read
// for exactly the missing bytes. Whatever arrived by then is the request. The
// browser extension and the stdio servers have always sent a request in one
// write, and rely on no more than that.
//
// Threads. A few I/O threads run all socket work, timers and the listener; route
// handlers, which block on the disk and the search index, run on a separate fixed
// pool of worker threads, so a slow request never stalls reads, writes or the
// idle time-outs of other connections. The router is called from several worker
// threads at once.
//
// Limits. A connection that has not delivered its request within the idle
// time-out is closed without a reply, and no more than `maxConnections` are
// handled at once: beyond that new connections wait in the kernel's backlog
// until one finishes. A Content-Length above 10 MiB is refused at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "http/request_handler.h"

namespace corvanta {

class HTTPServer {
 public:
  static constexpr uint16_t kDefaultPort = 7421;
  static constexpr size_t kMaxRequestBytes = 10 * 1024 * 1024;

  struct Limits {
    size_t ioThreads = 2;
    size_t workerThreads = 8;
    size_t maxConnections = 64;
    std::chrono::milliseconds idleTimeout{10000};
  };

  // `port` 0 picks a free port (tests); the product always uses kDefaultPort.
  explicit HTTPServer(Router router, uint16_t port = kDefaultPort);
  HTTPServer(Router router, uint16_t port, Limits limits);
  // Stops listening, abandons idle connections and waits for running handlers.
  ~HTTPServer();
  HTTPServer(const HTTPServer&) = delete;
  HTTPServer& operator=(const HTTPServer&) = delete;

  // Binds 127.0.0.1:port and starts serving. Prints "Kest HTTP server running on
  // http://127.0.0.1:<port>", or "Failed to start HTTP server: <error>" and
  // returns false (the port may be taken by another process). Call once.
  bool start();

  // Stops accepting; connections already accepted are still answered.
  void cancel();

  bool isListening() const;
  // The bound port once started (the chosen one when constructed with 0).
  uint16_t port() const;

  class Impl;  // opaque: the Asio machinery stays inside http_server.cc

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvanta
