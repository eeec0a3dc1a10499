// The one translation unit that sees Boost.Beast and Asio on the client side:
// they are expensive to compile and stay out of every header.
#include "platform/http_client.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include <openssl/ssl.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include "platform/app_version.h"

namespace corvanta {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using boost::system::error_code;

using Completion = std::function<void(std::optional<HttpResponse>)>;
using Request = http::request<http::string_body>;

// Tool results and page listings can be large; anything beyond this is refused
// rather than buffered.
constexpr uint64_t kMaxResponseBytes = 64ull << 20;

// Fire-and-forget requests run a few at a time and the rest wait their turn, as
// a browser's per-host connection limit would have them: against a host that
// drops packets, every running request holds a socket for its whole time limit,
// and a burst of events must not take the descriptors the process's own server
// needs. Past the waiting line's end requests are dropped, which their callers
// accept.
constexpr size_t kMaxRunningSends = 8;
constexpr size_t kMaxWaitingSends = 1000;

bool hasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

std::optional<Request> buildRequest(const std::string& method, const Url& url,
                                    const HttpHeaders& headers, const std::string& body) {
  http::verb verb = http::string_to_verb(method);
  if (verb == http::verb::unknown) return std::nullopt;
  Request request{verb, url.target, 11};
  request.set(http::field::host, url.authority());
  request.set(http::field::user_agent, "CorvantaVault/" + appVersion());
  request.set(http::field::connection, "close");
  for (const auto& [name, value] : headers) {
    // Beast writes fields verbatim; a line break would split the header block.
    if (name.empty() || hasLineBreak(name) || hasLineBreak(value)) return std::nullopt;
    request.set(name, value);
  }
  if (!body.empty() || verb == http::verb::post || verb == http::verb::put) {
    request.body() = body;
    request.prepare_payload();
  }
  return request;
}

// One request on its own connection, from name lookup to the parsed response.
// Lives in the handlers it has outstanding; reports exactly once, also when the
// io_context is torn down with the exchange still pending.
class Exchange : public std::enable_shared_from_this<Exchange> {
 public:
  Exchange(asio::io_context& io, Url url, Request request, std::chrono::milliseconds timeout,
           std::shared_ptr<std::atomic<int>> lookups, Completion done)
      : url_(std::move(url)),
        request_(std::move(request)),
        resolver_(io),
        socket_(io),
        deadline_(io),
        timeout_(timeout),
        lookups_(std::move(lookups)),
        done_(std::move(done)) {
    parser_.body_limit(kMaxResponseBytes);
  }

  ~Exchange() {
    if (done_) done_(std::nullopt);
  }

  bool secure() const { return url_.secure(); }

  // On the network thread. `tls` is the context for https, null when none could
  // be made (no https request can then be verified).
  void start(ssl::context* tls) {
    if (url_.secure()) {
      if (!tls) return finish(std::nullopt);
      tls_.emplace(socket_, *tls);
    }
    deadline_.expires_after(timeout_);
    deadline_.async_wait([self = shared_from_this()](error_code ec) {
      if (!ec) self->expire();
    });
    error_code ec;
    asio::ip::address literal = asio::ip::make_address(url_.host, ec);
    if (!ec) {
      connect(std::vector<tcp::endpoint>{tcp::endpoint(literal, url_.port)});
    } else {
      resolve();
    }
  }

 private:
  void resolve() {
    // getaddrinfo cannot be interrupted: the owner needs to know one is running
    // before it tears the io_context down (see Engine::dispose).
    ++*lookups_;
    resolver_.async_resolve(url_.host, std::to_string(url_.port),
                            [self = shared_from_this()](error_code ec, auto results) {
                              --*self->lookups_;
                              if (ec) return self->finish(std::nullopt);
                              self->connect(results);
                            });
  }

  template <typename Endpoints>
  void connect(const Endpoints& endpoints) {
    asio::async_connect(socket_, endpoints, [self = shared_from_this()](error_code ec, auto) {
      if (ec) return self->finish(std::nullopt);
      if (self->tls_) return self->handshake();
      self->write(self->socket_);
    });
  }

  void handshake() {
    SSL* native = tls_->native_handle();
    error_code notAnAddress;
    asio::ip::make_address(url_.host, notAnAddress);
    // SNI carries names only; an address in it is a protocol error.
    if (notAnAddress && !SSL_set_tlsext_host_name(native, url_.host.c_str())) {
      return finish(std::nullopt);
    }
    tls_->set_verify_mode(ssl::verify_peer);
    tls_->set_verify_callback(ssl::host_name_verification(url_.host));
    tls_->async_handshake(ssl::stream_base::client, [self = shared_from_this()](error_code ec) {
      if (ec) return self->finish(std::nullopt);
      self->write(*self->tls_);
    });
  }

  template <typename Stream>
  void write(Stream& stream) {
    http::async_write(stream, request_,
                      [self = shared_from_this(), &stream](error_code ec, size_t) {
                        if (ec) return self->finish(std::nullopt);
                        self->read(stream);
                      });
  }

  template <typename Stream>
  void read(Stream& stream) {
    http::async_read(stream, buffer_, parser_, [self = shared_from_this()](error_code ec, size_t) {
      if (ec) return self->finish(std::nullopt);
      auto& message = self->parser_.get();
      self->finish(HttpResponse{static_cast<int>(message.result_int()), std::move(message.body())});
    });
  }

  // The time limit covers the whole exchange. Finishing here rather than waiting
  // for the cancelled operations also bounds a name lookup that hangs.
  void expire() {
    resolver_.cancel();
    finish(std::nullopt);
  }

  void finish(std::optional<HttpResponse> response) {
    if (!done_) return;
    Completion done = std::move(done_);
    done_ = nullptr;
    deadline_.cancel();
    error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    done(std::move(response));
  }

  Url url_;
  Request request_;
  http::response_parser<http::string_body> parser_;
  beast::flat_buffer buffer_;
  tcp::resolver resolver_;
  tcp::socket socket_;
  std::optional<ssl::stream<tcp::socket&>> tls_;
  asio::steady_timer deadline_;
  std::chrono::milliseconds timeout_;
  std::shared_ptr<std::atomic<int>> lookups_;
  Completion done_;
};

// Where request() waits for its exchange.
struct ResponseBox {
  std::mutex mutex;
  std::condition_variable ready;
  bool done = false;
  std::optional<HttpResponse> response;
};

}  // namespace

// The network thread and everything it owns, shared with the exchanges' completions
// (weakly) so that a completion that runs late finds either its engine or nothing.
class HttpClient::Engine : public std::enable_shared_from_this<Engine> {
 public:
  bool start(const std::string& method, const std::string& url, const HttpHeaders& headers,
             const std::string& body, std::chrono::milliseconds timeout, Completion done,
             bool throttled);
  bool shutdown(std::chrono::milliseconds grace);
  size_t inFlight() const;

 private:
  using WorkGuard = asio::executor_work_guard<asio::io_context::executor_type>;

  void startThreadLocked();
  ssl::context* tlsContext();
  void launchLocked(std::shared_ptr<Exchange> exchange);
  void finished(bool throttled);
  static void dispose(std::unique_ptr<asio::io_context> io, std::shared_ptr<ssl::context> tls,
                      bool lookupsPending);

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  size_t inFlight_ = 0;  // running and waiting
  size_t runningSends_ = 0;
  std::deque<std::shared_ptr<Exchange>> waitingSends_;
  bool closed_ = false;
  std::unique_ptr<asio::io_context> io_;
  std::optional<WorkGuard> work_;
  std::thread thread_;
  // Made and used on the network thread only; read by shutdown after joining it.
  std::shared_ptr<ssl::context> tls_;
  bool tlsTried_ = false;
  std::shared_ptr<std::atomic<int>> lookups_ = std::make_shared<std::atomic<int>>(0);
};

bool HttpClient::Engine::start(const std::string& method, const std::string& url,
                               const HttpHeaders& headers, const std::string& body,
                               std::chrono::milliseconds timeout, Completion done, bool throttled) {
  std::optional<Url> parsed = parseUrl(url);
  if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https")) return false;
  std::optional<Request> request = buildRequest(method, *parsed, headers, body);
  if (!request) return false;

  std::lock_guard lock(mutex_);
  if (closed_) return false;
  bool mustWait = throttled && runningSends_ >= kMaxRunningSends;
  if (mustWait && waitingSends_.size() >= kMaxWaitingSends) return false;
  startThreadLocked();
  ++inFlight_;
  std::weak_ptr<Engine> owner = weak_from_this();
  auto exchange = std::make_shared<Exchange>(
      *io_, std::move(*parsed), std::move(*request), timeout, lookups_,
      [owner, throttled, done = std::move(done)](std::optional<HttpResponse> response) {
        // Counted out first, so a waiter woken by `done` sees the request gone.
        if (auto engine = owner.lock()) engine->finished(throttled);
        done(std::move(response));
      });
  if (mustWait) {
    waitingSends_.push_back(std::move(exchange));
  } else {
    if (throttled) ++runningSends_;
    launchLocked(std::move(exchange));
  }
  return true;
}

size_t HttpClient::Engine::inFlight() const {
  std::lock_guard lock(mutex_);
  return inFlight_;
}

void HttpClient::Engine::launchLocked(std::shared_ptr<Exchange> exchange) {
  // The network thread is joined before the engine goes, so `this` outlives
  // every handler that runs.
  asio::post(*io_, [this, exchange = std::move(exchange)] {
    exchange->start(exchange->secure() ? tlsContext() : nullptr);
  });
}

void HttpClient::Engine::finished(bool throttled) {
  std::shared_ptr<Exchange> next;  // released after the lock: its end reports here
  std::lock_guard lock(mutex_);
  if (inFlight_ > 0) --inFlight_;
  if (throttled && runningSends_ > 0) --runningSends_;
  // Also while shutting down: waiting requests are in flight for its grace too.
  if (throttled && io_ && !waitingSends_.empty()) {
    next = std::move(waitingSends_.front());
    waitingSends_.pop_front();
    ++runningSends_;
    launchLocked(next);
  }
  if (inFlight_ == 0) idle_.notify_all();
}

void HttpClient::Engine::startThreadLocked() {
  if (io_) return;
  io_ = std::make_unique<asio::io_context>(1);
  work_.emplace(io_->get_executor());
  thread_ = std::thread([context = io_.get()] {
    // Nothing may escape this thread; a throwing handler only loses its request.
    for (;;) {
      try {
        context->run();
        return;
      } catch (...) {
      }
    }
  });
}

// Loading the system trust store takes tens of milliseconds, more on a busy
// machine; doing it here keeps it off the thread that asked for the request.
ssl::context* HttpClient::Engine::tlsContext() {
  if (tlsTried_) return tls_.get();
  tlsTried_ = true;
  try {
    auto context = std::make_shared<ssl::context>(ssl::context::tls_client);
    context->set_default_verify_paths();
    context->set_verify_mode(ssl::verify_peer);
    tls_ = std::move(context);
  } catch (...) {
    // Without a trust store no https request could be verified: refuse them all.
  }
  return tls_.get();
}

bool HttpClient::Engine::shutdown(std::chrono::milliseconds grace) {
  std::unique_lock lock(mutex_);
  // A second shutdown finds nothing left to stop; what was abandoned stays so.
  if (closed_ && !io_) return inFlight_ == 0;
  closed_ = true;
  bool clean = idle_.wait_for(lock, grace, [this] { return inFlight_ == 0; });
  std::unique_ptr<asio::io_context> context = std::move(io_);
  std::thread runner = std::move(thread_);
  std::deque<std::shared_ptr<Exchange>> waiting = std::move(waitingSends_);
  waitingSends_.clear();
  work_.reset();
  lock.unlock();

  if (!context) return clean;
  context->stop();
  if (runner.joinable()) runner.join();
  // Their sockets belong to the io_context: they must go first.
  waiting.clear();
  dispose(std::move(context), tls_, *lookups_ > 0);
  return clean;
}

// Destroying an io_context joins the thread Asio runs getaddrinfo on, which can
// block for as long as the system resolver likes. With a lookup outstanding the
// context is destroyed on a detached thread instead, so shutdown keeps its bound;
// the exchanges still report (as failures) when it goes.
void HttpClient::Engine::dispose(std::unique_ptr<asio::io_context> io,
                                 std::shared_ptr<ssl::context> tls, bool lookupsPending) {
  if (!lookupsPending) {
    io.reset();
    return;
  }
  std::thread([io = std::move(io), tls = std::move(tls)]() mutable { io.reset(); }).detach();
}

HttpClient::HttpClient() : engine_(std::make_shared<Engine>()) {}

HttpClient::~HttpClient() { engine_->shutdown(std::chrono::milliseconds(0)); }

std::optional<HttpResponse> HttpClient::request(const std::string& method, const std::string& url,
                                                const HttpHeaders& headers, const std::string& body,
                                                std::chrono::milliseconds timeout) {
  auto box = std::make_shared<ResponseBox>();
  bool started = engine_->start(
      method, url, headers, body, timeout,
      [box](std::optional<HttpResponse> response) {
        std::lock_guard lock(box->mutex);
        box->response = std::move(response);
        box->done = true;
        box->ready.notify_all();
      },
      false);
  if (!started) return std::nullopt;
  std::unique_lock lock(box->mutex);
  // The exchange enforces `timeout` itself; the margin only absorbs scheduling.
  box->ready.wait_for(lock, timeout + std::chrono::milliseconds(250), [&] { return box->done; });
  return std::move(box->response);
}

void HttpClient::send(const std::string& method, const std::string& url, const HttpHeaders& headers,
                      const std::string& body, std::chrono::milliseconds timeout) {
  engine_->start(
      method, url, headers, body, timeout, [](std::optional<HttpResponse>) {}, true);
}

size_t HttpClient::inFlight() const { return engine_->inFlight(); }

bool HttpClient::shutdown(std::chrono::milliseconds grace) { return engine_->shutdown(grace); }

}  // namespace corvanta
