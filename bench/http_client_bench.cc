// Figures for the HTTP client: blocking GETs against a loopback server started
// here (requests per second, latency percentiles), and what building the client
// and the event reporter costs, which the hook and every MCP server start pay.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/event_reporter.h"
#include "platform/http_client.h"
#include "platform/settings_store.h"

namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

// Answers each connection with a small JSON body and closes it, like the local
// API's GET /ping.
class PingServer {
 public:
  PingServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 512) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      std::perror("listen");
      std::exit(1);
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~PingServer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  int served() const { return served_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/ping"; }

 private:
  void serve() {
    static const std::string body = "{\"ok\":true,\"version\":\"1.0.0\"}";
    static const std::string reply =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    while (!stop_) {
      int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = ::read(connection, buffer, sizeof buffer);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      (void)!::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
      ::close(connection);
      ++served_;
    }
  }

  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_ = false;
  std::atomic<int> served_ = 0;
  std::thread thread_;
};

void blockingGets(corvanta::HttpClient& client, const std::string& url, int count) {
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(count));
  int failures = 0;
  auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    auto begin = Clock::now();
    auto response = client.request("GET", url, {}, "", std::chrono::seconds(5));
    latencies.push_back(microseconds(Clock::now() - begin));
    if (!response || response->status != 200) ++failures;
  }
  double seconds = microseconds(Clock::now() - start) / 1e6;
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) { return latencies[static_cast<size_t>(q * (latencies.size() - 1))]; };
  std::printf("blocking GET, loopback, new connection each: %d requests, %.0f requests/s\n", count,
              count / seconds);
  std::printf("  latency us: p50 %.0f  p90 %.0f  p99 %.0f  max %.0f  (failures %d)\n", at(0.5),
              at(0.9), at(0.99), latencies.back(), failures);
}

template <typename Make>
void constructionCost(const char* what, int count, Make make) {
  auto start = Clock::now();
  for (int i = 0; i < count; ++i) make();
  std::printf("%s: %.2f us each (%d rounds)\n", what, microseconds(Clock::now() - start) / count,
              count);
}

}  // namespace

int main() {
  char folder[] = "/tmp/corvanta-bench-XXXXXX";
  if (!::mkdtemp(folder)) return 1;
  corvanta::SettingsStore settings(std::string(folder) + "/settings.json");

  constructionCost("construct + destroy HttpClient", 100000, [] { corvanta::HttpClient client; });
  constructionCost("construct + destroy EventReporter (no event sent)", 100000,
                   [&] { corvanta::EventReporter reporter(settings); });

  PingServer server;
  {
    corvanta::HttpClient client;
    auto start = Clock::now();
    client.request("GET", server.url(), {}, "", std::chrono::seconds(5));
    std::printf("first request (starts the network thread): %.0f us\n",
                microseconds(Clock::now() - start));
    blockingGets(client, server.url(), 5000);
  }
  {
    settings.set("analytics.captureURL", server.url());
    corvanta::EventReporter reporter(settings);
    reporter.capture("vault_bench_warm_up");  // reads the settings once, starts the thread
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // lets it be answered
    constexpr int kEvents = 1000;
    int servedBefore = server.served();
    auto start = Clock::now();
    for (int i = 0; i < kEvents; ++i) reporter.capture("vault_bench", {{"n", i}});
    std::printf("EventReporter::capture returns in %.2f us each (%d events)\n",
                microseconds(Clock::now() - start) / kEvents, kEvents);
    start = Clock::now();
    reporter.shutdown(std::chrono::seconds(10));
    std::printf("  %d of them answered %.0f ms later\n", server.served() - servedBefore,
                microseconds(Clock::now() - start) / 1000);
  }
  {
    // Nothing listens on port 9: this measures only what the caller waits for.
    settings.set("analytics.captureURL", "https://127.0.0.1:9/capture/");
    corvanta::EventReporter reporter(settings);
    reporter.distinctId();
    auto start = Clock::now();
    reporter.capture("vault_mcp_started");
    std::printf("first https capture returns in %.0f us (TLS set-up runs on the network thread)\n",
                microseconds(Clock::now() - start));
    start = Clock::now();
    reporter.shutdown();
    std::printf("  and its shutdown took %.0f us\n", microseconds(Clock::now() - start));
  }
  std::filesystem::remove_all(folder);
  return 0;
}
