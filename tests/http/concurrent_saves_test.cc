// Several clients saving at once through the real transport and routes.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "app/analytics.h"
#include "http/http_routes.h"
#include "http/http_server.h"
#include "platform/background_queue.h"
#include "raw_socket.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

using test::readText;
using test::replyStatus;
using test::sendRequest;

std::string saveRequest(const std::string& filename, const std::string& content) {
  const std::string body = nlohmann::json{{"filename", filename},
                                          {"content", content},
                                          {"meta",
                                           {{"title", filename},
                                            {"url", "https://example.com/" + content},
                                            {"domain", "example.com"},
                                            {"template", "article"},
                                            {"saved_at", "2026-01-05T10:00:00Z"}}}}
                               .dump();
  return "POST /kbs/General/files HTTP/1.1\r\nOrigin: chrome-extension://abc\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(ConcurrentSaves, EveryPageIsWrittenUnderItsOwnName) {
  test::TempDir dir;
  BackgroundQueue queue(2);
  auto store = std::make_shared<KestFileManager>(
      dir / "vault", Paths(dir.path(), dir / "config", dir / "data"), queue);
  std::filesystem::create_directories(dir / "vault/General");
  NoAnalytics analytics;
  HttpRoutes routes(store, analytics, [](const std::string&) {});
  HTTPServer server([&](const HttpRequest& request) { return routes.route(request); }, 0);
  ASSERT_TRUE(server.start());

  constexpr int kClients = 8;
  constexpr int kSavesEach = 25;
  std::atomic<int> created{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; i < kSavesEach; ++i) {
        const std::string content = "client" + std::to_string(c) + "save" + std::to_string(i);
        if (replyStatus(sendRequest(server.port(), saveRequest("same.md", content))) == 201) {
          ++created;
        }
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(created, kClients * kSavesEach);

  std::set<std::string> names, contents;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "vault/General")) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with("same")) continue;
    names.insert(name);
    contents.insert(readText(entry.path().string()));
  }
  EXPECT_EQ(names.size(), static_cast<size_t>(kClients * kSavesEach));
  EXPECT_EQ(contents.size(), static_cast<size_t>(kClients * kSavesEach));  // none overwritten
  EXPECT_TRUE(names.count("same.md"));
  EXPECT_TRUE(names.count("same-200.md"));
  EXPECT_TRUE(store->waitForRefreshes(std::chrono::seconds(30)));
}

}  // namespace
}  // namespace corvanta
