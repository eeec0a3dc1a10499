// Local API figures over real loopback connections, one request per connection
// as the browser extension makes them: GET /ping requests per second, POST of
// new pages into a large vault (index and guide refreshes coalesced in the
// background), and GET /search latency.
//
//   ./http_bench [pages=10000] [posts=2000] [clients=8]
//
// The server is the product's transport and routes, in this process, on an
// ephemeral port of 127.0.0.1; the clients are plain blocking sockets. The same
// server can be measured with wrk against the application itself:
//   wrk -t2 -c16 -d10s http://127.0.0.1:7421/ping
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/analytics.h"
#include "bench_support.h"
#include "http/http_routes.h"
#include "http/http_server.h"
#include "platform/background_queue.h"
#include "platform/paths.h"
#include "search/search_index.h"
#include "vault/kest_file_manager.h"
#include "vault_generator.h"

namespace corvanta {
namespace {

using namespace bench;

// One request on a fresh connection; returns the status (0 on failure).
int request(uint16_t port, const std::string& bytes, std::string* body = nullptr) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size())) {
    char buffer[65536];
    ssize_t count;
    while ((count = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
      reply.append(buffer, static_cast<size_t>(count));
    }
  }
  ::close(fd);
  if (!reply.starts_with("HTTP/1.1 ") || reply.size() < 12) return 0;
  if (body) body->assign(reply.substr(std::min(reply.size(), reply.find("\r\n\r\n") + 4)));
  return std::stoi(reply.substr(9, 3));
}

std::string post(const std::string& path, const std::string& json) {
  return "POST /" + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
         "Content-Length: " + std::to_string(json.size()) + "\r\n\r\n" + json;
}

void benchPing(uint16_t port, int clients) {
  const std::string ping = "GET /ping HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  std::atomic<long> done{0}, failed{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  const auto start = Clock::now();
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&] {
      while (!stop) (request(port, ping) == 200 ? done : failed)++;
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(5));
  stop = true;
  for (auto& thread : threads) thread.join();
  std::printf("GET /ping: %.0f requests/s (%d clients, %ld answered, %ld failed, %.1f s)\n",
              done / secondsSince(start), clients, done.load(), failed.load(), secondsSince(start));
}

void benchSaves(uint16_t port, KestFileManager& store, const std::string& kb, int posts,
                int clients) {
  std::string body(3000, ' ');
  for (size_t i = 0; i < body.size(); ++i) body[i] = "abcdefghij klmnop\n"[i % 18];
  std::atomic<int> next{0}, created{0};
  std::vector<std::thread> threads;
  const auto start = Clock::now();
  const double cpuStart = processCpuSeconds();
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&] {
      for (int id = next++; id < posts; id = next++) {
        nlohmann::json page = {{"filename", "bench-page-" + std::to_string(id) + ".md"},
                               {"content", "# Bench page " + std::to_string(id) + "\n\n" + body},
                               {"meta",
                                {{"title", "Bench page " + std::to_string(id)},
                                 {"url", "https://bench.example/" + std::to_string(id)},
                                 {"domain", "bench.example"},
                                 {"template", "article"},
                                 {"saved_at", "2026-01-05T10:00:00Z"}}}};
        if (request(port, post("kbs/" + kb + "/files", page.dump())) == 201) ++created;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const double seconds = secondsSince(start);
  std::printf("POST /kbs/%s/files: %.0f pages/s (%d of %d created in %.2f s, %d clients)\n",
              kb.c_str(), created / seconds, created.load(), posts, seconds, clients);
  const auto settle = Clock::now();
  const bool idle = store.waitForRefreshes(std::chrono::minutes(5));
  std::printf("  index and guide refreshes settled %.2f s after the last reply%s\n",
              secondsSince(settle), idle ? "" : " (timed out)");
  std::printf("  CPU per page, refreshes included: %.2f ms (%.1f CPU s in all)\n",
              (processCpuSeconds() - cpuStart) * 1000 / std::max(created.load(), 1),
              processCpuSeconds() - cpuStart);
}

void benchSearch(uint16_t port, const GeneratedVault& vault) {
  std::vector<std::string> queries;
  for (size_t i = 0; i < 200; ++i) {
    const auto& words = i % 2 ? vault.rareWords : vault.commonWords;
    queries.push_back(words[i % words.size()]);
  }
  std::vector<double> latencies;
  size_t hits = 0;
  for (const std::string& query : queries) {
    std::string body;
    const auto start = Clock::now();
    if (request(port, "GET /search?q=" + query + " HTTP/1.1\r\n\r\n", &body) != 200) continue;
    latencies.push_back(millisecondsSince(start));
    hits += nlohmann::json::parse(body).size();
  }
  if (latencies.empty()) return;
  const Latency latency = summarize(latencies);
  std::printf("GET /search: median %.2f ms, p95 %.2f ms, max %.2f ms (%zu queries, %zu hits)\n",
              latency.median, latency.p95, latency.max, latencies.size(), hits);
}

int run(size_t pages, int posts, int clients) {
  const std::string root = (std::filesystem::temp_directory_path() /
                            ("corvanta-http-bench-" + std::to_string(::getpid())))
                               .string();
  std::printf("Generating %zu pages...\n", pages);
  GeneratedVault vault = generateVault(root + "/vault", pages, 42);
  BackgroundQueue queue(2);
  auto store = std::make_shared<KestFileManager>(
      root + "/vault", Paths(root, root + "/config", root + "/data"), queue);
  const auto indexStart = Clock::now();
  store->searchIndex().rebuildAll(*store);
  std::printf("Index built in %.1f s\n", secondsSince(indexStart));

  NoAnalytics analytics;
  HttpRoutes routes(store, analytics, [](const std::string&) {});
  HTTPServer server([&](const HttpRequest& r) { return routes.route(r); }, 0);
  if (!server.start()) return 1;

  benchPing(server.port(), clients);
  benchSearch(server.port(), vault);
  benchSaves(server.port(), *store, vault.knowledgeBases.front(), posts, clients);
  benchSearch(server.port(), vault);

  server.cancel();
  std::filesystem::remove_all(root);
  return 0;
}

}  // namespace
}  // namespace corvanta

int main(int argc, char** argv) {
  const size_t pages = argc > 1 ? std::stoul(argv[1]) : 10000;
  const int posts = argc > 2 ? std::stoi(argv[2]) : 2000;
  const int clients = argc > 3 ? std::stoi(argv[3]) : 8;
  return corvanta::run(pages, posts, clients);
}
