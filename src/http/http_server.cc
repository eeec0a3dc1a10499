#include "http/http_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio.hpp>

#include "platform/diagnostics.h"

namespace corvanta {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

// A peer that stops acknowledging our data is dropped after this long.
constexpr unsigned kUnacknowledgedTimeoutMs = 1000;
// After replying, unread request bytes are drained for at most this long, so the
// close does not turn into a reset that could destroy the reply in flight.
constexpr std::chrono::milliseconds kLingerTime{1000};

}  // namespace

class HTTPServer::Impl {
 public:
  Impl(Router router, uint16_t port, Limits limits)
      : router_(std::move(router)),
        requestedPort_(port),
        limits_(limits),
        acceptStrand_(asio::make_strand(io_)),
        acceptor_(acceptStrand_),
        workers_(limits.workerThreads) {}

  ~Impl() {
    stopping_ = true;
    cancel();
    workers_.join();
    keepRunning_.reset();
    io_.stop();
    for (std::thread& thread : ioThreads_) thread.join();
  }

  bool start();
  void cancel();
  bool isListening() const { return listening_; }
  uint16_t port() const { return boundPort_; }

  // Called by each connection when it ends: frees its slot.
  void release();

  asio::io_context& io() { return io_; }
  asio::thread_pool& workers() { return workers_; }
  const Router& router() const { return router_; }
  const Limits& limits() const { return limits_; }
  bool stopping() const { return stopping_; }

 private:
  void acceptNext();

  // Declared before io_ so they outlive it: destroying io_ destroys pending
  // handlers, whose connections look at stopping_ on their way out.
  const Router router_;
  const uint16_t requestedPort_;
  const Limits limits_;
  std::atomic<bool> listening_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<uint16_t> boundPort_{0};
  // Touched only on acceptStrand_.
  size_t active_ = 0;
  bool acceptPaused_ = false;

  asio::io_context io_;
  // Keeps the I/O threads running while every connection is away on a worker
  // and the listener is paused, when the context itself has nothing pending.
  asio::executor_work_guard<asio::io_context::executor_type> keepRunning_{io_.get_executor()};
  asio::strand<asio::io_context::executor_type> acceptStrand_;
  tcp::acceptor acceptor_;
  asio::thread_pool workers_;
  std::vector<std::thread> ioThreads_;
};

namespace {

// One accepted connection, from its first read to its close. All socket and
// timer work runs on the connection's strand; only the routing runs elsewhere.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(HTTPServer::Impl& server, tcp::socket socket)
      : server_(server), socket_(std::move(socket)), timer_(socket_.get_executor()) {}

  ~Connection() { server_.release(); }

  void start() {
    int timeout = kUnacknowledgedTimeoutMs;
    ::setsockopt(socket_.native_handle(), IPPROTO_TCP, TCP_USER_TIMEOUT, &timeout, sizeof timeout);
    armTimer(server_.limits().idleTimeout);
    socket_.async_wait(tcp::socket::wait_read,
                       [self = shared_from_this()](error_code error) { self->readFirst(error); });
  }

 private:
  void armTimer(std::chrono::milliseconds duration) {
    timer_.expires_after(duration);
    timer_.async_wait([self = shared_from_this()](error_code error) {
      if (error) return;
      self->timedOut_ = true;
      self->close();
    });
  }

  // The first read takes whatever has arrived, sized to what is waiting so a
  // small request does not cost a 10 MiB buffer.
  void readFirst(error_code error) {
    if (error) return close();
    error_code ignored;
    size_t waiting = socket_.available(ignored);
    bytes_.resize(std::clamp<size_t>(waiting, 1, HTTPServer::kMaxRequestBytes));
    socket_.non_blocking(true, ignored);
    size_t received = socket_.read_some(asio::buffer(bytes_), error);
    if (error == asio::error::would_block) {
      // Readiness without data; wait again.
      bytes_.clear();
      socket_.async_wait(tcp::socket::wait_read,
                         [self = shared_from_this()](error_code next) { self->readFirst(next); });
      return;
    }
    if (error || received == 0) return close();  // nothing delivered: no reply
    bytes_.resize(received);
    afterFirstRead();
  }

  void afterFirstRead() {
    const std::optional<int64_t> announced = announcedContentLength(bytes_);
    if (announced && *announced > static_cast<int64_t>(HTTPServer::kMaxRequestBytes)) {
      return reply(invalidRequestResponse());
    }
    const std::optional<size_t> bodyBytes = bytesAfterHead(bytes_);
    if (!announced || !bodyBytes || static_cast<int64_t>(*bodyBytes) >= *announced) {
      return route();
    }
    // One further read for exactly the rest of the body, whatever of it arrives.
    const size_t missing = static_cast<size_t>(*announced) - *bodyBytes;
    asio::async_read(socket_, asio::dynamic_buffer(bytes_), asio::transfer_exactly(missing),
                     [self = shared_from_this()](error_code, size_t) {
                       // A peer that closes early still gets an answer for what it
                       // sent; one that stalled past the time-out gets none.
                       if (!self->timedOut_) self->route();
                     });
  }

  void route() {
    timer_.cancel();
    asio::post(server_.workers(), [self = shared_from_this()] {
      std::string response;
      try {
        response = handleHttpRequest(self->bytes_, self->server_.router());
      } catch (const std::exception& error) {
        response = formatResponse(500, {{"error", error.what()}}, std::nullopt);
      } catch (...) {
        response = formatResponse(500, {{"error", reasonPhrase(500)}}, std::nullopt);
      }
      asio::post(self->socket_.get_executor(), [self, response = std::move(response)]() mutable {
        self->reply(std::move(response));
      });
    });
  }

  void reply(std::string response) {
    response_ = std::move(response);
    armTimer(server_.limits().idleTimeout);
    asio::async_write(socket_, asio::buffer(response_),
                      [self = shared_from_this()](error_code error, size_t) {
                        if (error) return self->close();
                        self->linger();
                      });
  }

  // Half-closes and drains what the client may still send, then closes.
  void linger() {
    error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    armTimer(kLingerTime);
    drain();
  }

  void drain() {
    socket_.async_read_some(asio::buffer(scratch_),
                            [self = shared_from_this()](error_code error, size_t) {
                              if (error) return self->close();
                              self->drain();
                            });
  }

  void close() {
    error_code ignored;
    timer_.cancel();
    socket_.close(ignored);
  }

  HTTPServer::Impl& server_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  std::string bytes_;
  std::string response_;
  bool timedOut_ = false;
  char scratch_[4096];
};

}  // namespace

bool HTTPServer::Impl::start() {
  error_code error;
  const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), requestedPort_);
  acceptor_.open(endpoint.protocol(), error);
  if (!error) acceptor_.set_option(tcp::acceptor::reuse_address(true), error);
  if (!error) acceptor_.bind(endpoint, error);
  if (!error) acceptor_.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    error_code ignored;
    acceptor_.close(ignored);
    printDiagnostic("Failed to start HTTP server: " + error.message());
    return false;
  }
  boundPort_ = acceptor_.local_endpoint(error).port();
  listening_ = true;
  asio::post(acceptStrand_, [this] { acceptNext(); });
  for (size_t i = 0; i < limits_.ioThreads; ++i) {
    ioThreads_.emplace_back([this] {
      // Handlers catch their own failures; this keeps a stray one from ending
      // the process through an exception leaving the thread.
      for (;;) {
        try {
          io_.run();
          return;
        } catch (...) {
        }
      }
    });
  }
  printDiagnostic("Kest HTTP server running on http://127.0.0.1:" + std::to_string(boundPort_));
  return true;
}

void HTTPServer::Impl::acceptNext() {
  if (!acceptor_.is_open()) return;
  if (active_ >= limits_.maxConnections) {
    acceptPaused_ = true;
    return;
  }
  acceptor_.async_accept(asio::make_strand(io_), [this](error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor_.is_open()) return;
    if (!error) {
      ++active_;
      std::make_shared<Connection>(*this, std::move(socket))->start();
    }
    acceptNext();
  });
}

void HTTPServer::Impl::release() {
  if (stopping_) return;
  asio::post(acceptStrand_, [this] {
    --active_;
    if (acceptPaused_) {
      acceptPaused_ = false;
      acceptNext();
    }
  });
}

void HTTPServer::Impl::cancel() {
  if (!listening_.exchange(false)) return;
  std::promise<void> closed;
  asio::post(acceptStrand_, [this, &closed] {
    error_code ignored;
    acceptor_.close(ignored);
    closed.set_value();
  });
  closed.get_future().wait();
}

HTTPServer::HTTPServer(Router router, uint16_t port)
    : HTTPServer(std::move(router), port, Limits{}) {}

HTTPServer::HTTPServer(Router router, uint16_t port, Limits limits)
    : impl_(std::make_unique<Impl>(std::move(router), port, limits)) {}

HTTPServer::~HTTPServer() = default;

bool HTTPServer::start() { return impl_->start(); }
void HTTPServer::cancel() { impl_->cancel(); }
bool HTTPServer::isListening() const { return impl_->isListening(); }
uint16_t HTTPServer::port() const { return impl_->port(); }

}  // namespace corvanta
