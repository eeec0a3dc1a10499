// The real application on its fixed port, driven from outside: the HTTP API, the
// shut-down on SIGTERM, the stdio server's forwarding to it, and durability of
// saves when the application is killed mid-burst. These tests hold the
// machine-wide port lock (and a ctest resource lock) because the port is fixed.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "http/http_server.h"
#include "raw_socket.h"
#include "support/child_process.h"
#include "support/port_lock.h"
#include "support/temp_dir.h"

namespace corvanta {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::ProcessOptions;
using test::readText;
using test::replyBody;
using test::replyStatus;
using test::sendRequest;
using test::TempDir;
using test::writeText;

constexpr uint16_t kPort = 7421;
constexpr const char* kRunningLine = "Kest HTTP server running on http://127.0.0.1:7421";
constexpr const char* kProxyLine = "Kest MCP: using HTTP proxy (TCC permission issue detected)";
constexpr const char* kUnreachable =
    "Error: Failed to reach Corvanta Vault HTTP server. Is Corvanta Vault running?";

// A scratch home for one process of the product: its own settings, vault and
// autostart folder, endpoints that never leave the machine, and a pgrep that
// only sees this test's own children, so shutting down never signals servers
// that belong to anything else on the machine.
class ScratchHome {
 public:
  explicit ScratchHome(const std::string& vaultFolder = "vault") {
    nlohmann::json settings = {{"vaultRootPath", home_ / vaultFolder},
                               {"analytics.captureURL", "http://127.0.0.1:9/capture/"},
                               {"updateCheck.versionURL", "http://127.0.0.1:9/version.json"},
                               {"chatgpt.relayURL", "ws://127.0.0.1:9/connect"}};
    writeText(home_ / "config/corvanta-vault/settings.json", settings.dump());
    const std::string pgrep = home_ / "bin/pgrep";
    writeText(pgrep,
              "#!/bin/sh\nexec /usr/bin/pgrep -P " + std::to_string(::getpid()) + " \"$@\"\n");
    ::chmod(pgrep.c_str(), 0755);
  }

  std::string vault() const { return home_ / "vault"; }
  std::string operator/(const std::string& name) const { return home_ / name; }

  ProcessOptions options(std::vector<std::string> arguments = {}) const {
    ProcessOptions options;
    options.arguments = std::move(arguments);
    options.environment = {{"HOME", home_.path()},
                           {"XDG_CONFIG_HOME", home_ / "config"},
                           {"XDG_DATA_HOME", home_ / "data"},
                           {"PATH", home_ / "bin:/usr/bin:/bin"}};
    options.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "KEST_VAULT_ROOT"};
    return options;
  }

 private:
  TempDir home_;
};

std::string jsonRequest(const std::string& method, const std::string& path,
                        const nlohmann::json& body) {
  const std::string text = body.dump();
  return method + " /" + path + " HTTP/1.1\r\nHost: 127.0.0.1:7421\r\nContent-Type: " +
         "application/json\r\nContent-Length: " + std::to_string(text.size()) + "\r\n\r\n" + text;
}

nlohmann::json pageRequest(const std::string& filename, const std::string& content) {
  return {{"filename", filename},
          {"content", content},
          {"meta",
           {{"title", filename},
            {"url", "https://example.com/" + filename},
            {"domain", "example.com"},
            {"template", "article"},
            {"saved_at", "2026-01-05T10:00:00Z"}}}};
}

std::string toolCall(int id, const std::string& name, const nlohmann::json& arguments) {
  return nlohmann::json{{"jsonrpc", "2.0"},
                        {"id", id},
                        {"method", "tools/call"},
                        {"params", {{"name", name}, {"arguments", arguments}}}}
             .dump() +
         "\n";
}

// The tool result of one response line.
nlohmann::json resultOf(const std::optional<std::string>& line) {
  if (!line) return nullptr;
  nlohmann::json response = nlohmann::json::parse(*line, nullptr, false);
  return response.is_object() && response.contains("result") ? response["result"] : nullptr;
}

class Port7421Application : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lock_.held()) << "another test run kept port 7421 for too long";
  }

  // Starts the application and waits until it listens.
  std::unique_ptr<ChildProcess> startApplication(const ScratchHome& home) {
    auto app = std::make_unique<ChildProcess>(test::corvantaBinary(), home.options());
    for (;;) {
      std::optional<std::string> line = app->readLine(15s);
      EXPECT_TRUE(line) << "no start line; stderr: " << app->standardError();
      if (!line) return nullptr;
      if (*line == kRunningLine) return app;
      EXPECT_FALSE(line->starts_with("Failed to start HTTP server")) << *line;
    }
  }

  test::Port7421Lock lock_;
};

TEST_F(Port7421Application, ServesTheApiAndShutsDownCleanlyOnSigterm) {
  ScratchHome home;
  std::filesystem::create_directories(home.vault() + "/General");
  auto app = startApplication(home);
  ASSERT_TRUE(app);

  std::string ping = sendRequest(kPort, "GET /ping HTTP/1.1\r\nHost: localhost:7421\r\n\r\n");
  EXPECT_EQ(replyStatus(ping), 200);
  EXPECT_EQ(nlohmann::json::parse(replyBody(ping))["ok"], true);
  // A page that reached us under a foreign host name gets nothing.
  EXPECT_EQ(replyStatus(sendRequest(kPort, "GET /kbs HTTP/1.1\r\nHost: evil.example\r\n\r\n")),
            403);
  EXPECT_TRUE(std::filesystem::exists(home / "config/autostart/corvanta-vault.desktop"));

  // A stdio server started from this executable is ended by the shut-down.
  ScratchHome mcpHome;
  ChildProcess mcp(test::corvantaBinary(), mcpHome.options({"--mcp"}));
  mcp.write(toolCall(1, "corvanta_list_knowledge_bases", nlohmann::json::object()));
  ASSERT_TRUE(mcp.readLine(15s));

  app->signal(SIGTERM);
  EXPECT_EQ(app->wait(15s), 0);
  EXPECT_EQ(mcp.wait(15s), -1);  // ended by the signal, not by end of input
  test::RawSocket refused(kPort);
  EXPECT_FALSE(refused.connected());
}

TEST_F(Port7421Application, PortTakenByAnotherProgramIsReportedAndTheAppRunsOn) {
  HTTPServer squatter([](const HttpRequest&) { return RouteResponse{200, nullptr}; }, kPort);
  ASSERT_TRUE(squatter.start());
  ScratchHome home;
  ChildProcess app(test::corvantaBinary(), home.options());
  std::optional<std::string> line = app.readLine(15s);
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->starts_with("Failed to start HTTP server: ")) << *line;
  app.signal(SIGTERM);
  EXPECT_EQ(app.wait(15s), 0);
}

TEST_F(Port7421Application, StdioServerOnAnEmptyVaultForwardsEveryCall) {
  ScratchHome appHome;
  std::filesystem::create_directories(appHome.vault() + "/General");
  auto app = startApplication(appHome);
  ASSERT_TRUE(app);
  ASSERT_EQ(replyStatus(sendRequest(
                kPort, jsonRequest("POST", "kbs/General/files",
                                   pageRequest("hello.md", "# Hello\n\nforwarded words\n")))),
            201);

  ScratchHome mcpHome;  // its vault folder does not even exist
  ChildProcess mcp(test::corvantaBinary(), mcpHome.options({"--mcp"}));
  mcp.write(toolCall(1, "corvanta_list_files", {{"kb", "General"}}));
  nlohmann::json listed = resultOf(mcp.readLine(30s));
  ASSERT_TRUE(listed.is_object());
  EXPECT_NE(listed["content"][0]["text"].get<std::string>().find("hello.md"), std::string::npos)
      << listed.dump();
  EXPECT_EQ(mcp.standardError(), std::string(kProxyLine) + "\n");

  // Writes land in the application's vault, not in the server's own.
  mcp.write(toolCall(2, "corvanta_edit_file",
                     {{"kb", "General"}, {"filename", "hello.md"}, {"content", "# Edited\n"}}));
  nlohmann::json edited = resultOf(mcp.readLine(30s));
  EXPECT_FALSE(edited.value("isError", false)) << edited.dump();
  EXPECT_EQ(readText(appHome.vault() + "/General/hello.md"), "# Edited\n");
  EXPECT_FALSE(std::filesystem::exists(mcpHome.vault()));

  // Once the application is gone, forwarded calls report it; the server lives on.
  app->signal(SIGKILL);
  app->wait(10s);
  mcp.write(toolCall(3, "corvanta_list_knowledge_bases", nlohmann::json::object()));
  nlohmann::json unreachable = resultOf(mcp.readLine(30s));
  EXPECT_EQ(unreachable, (nlohmann::json{{"content", {{{"type", "text"}, {"text", kUnreachable}}}},
                                         {"isError", true}}));
  mcp.closeInput();
  EXPECT_EQ(mcp.wait(15s), 0);
  EXPECT_EQ(mcp.standardError(), std::string(kProxyLine) + "\n");  // written once only
}

TEST_F(Port7421Application, StdioServerWithItsOwnVaultForwardsOnlySaveUrl) {
  // The application's side is the real transport with a router that records.
  std::mutex mutex;
  std::vector<std::string> toolNames;
  HTTPServer application(
      [&](const HttpRequest& request) -> RouteResponse {
        if (request.path == "ping") return {200, {{"ok", true}, {"version", "9.9.9"}}};
        if (request.path == "kbs") return {200, nlohmann::json::array({{{"name", "General"}}})};
        nlohmann::json call = nlohmann::json::parse(request.body.value_or("{}"));
        std::lock_guard lock(mutex);
        toolNames.push_back(call.value("name", ""));
        return {200, {{"content", {{{"type", "text"}, {"text", "saved by the application"}}}}}};
      },
      kPort);
  ASSERT_TRUE(application.start());

  ScratchHome mcpHome;
  std::filesystem::create_directories(mcpHome.vault() + "/Local");
  ChildProcess mcp(test::corvantaBinary(), mcpHome.options({"--mcp"}));
  mcp.write(toolCall(1, "corvanta_list_knowledge_bases", nlohmann::json::object()));
  nlohmann::json local = resultOf(mcp.readLine(30s));
  EXPECT_NE(local.dump().find("Local"), std::string::npos) << local.dump();

  mcp.write(toolCall(2, "corvanta_save_url", {{"url", "https://example.com"}}));
  nlohmann::json saved = resultOf(mcp.readLine(30s));
  EXPECT_EQ(saved["content"][0]["text"], "saved by the application");
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(toolNames, std::vector<std::string>{"corvanta_save_url"});
  }
  mcp.closeInput();
  EXPECT_EQ(mcp.wait(15s), 0);
  EXPECT_EQ(mcp.standardError(), "");  // no proxy: its own vault is visible
}

TEST_F(Port7421Application, KillDuringSavesLosesNoAcknowledgedPageAndLeavesNoPartialOne) {
  ScratchHome home;
  std::filesystem::create_directories(home.vault() + "/General");
  auto app = startApplication(home);
  ASSERT_TRUE(app);

  auto contentOf = [](int id) {
    return "# Page " + std::to_string(id) + "\n\nmarker tok" + std::to_string(id) + "x\n" +
           std::string(4000, 'a' + id % 26) + "\n";
  };
  std::atomic<int> next{0};
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::set<int> acknowledged;
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&] {
      while (!stop) {
        const int id = next++;
        const std::string name = "page-" + std::to_string(id) + ".md";
        std::string reply = sendRequest(
            kPort, jsonRequest("POST", "kbs/General/files", pageRequest(name, contentOf(id))));
        if (replyStatus(reply) == 201) {
          std::lock_guard lock(mutex);
          acknowledged.insert(id);
        }
      }
    });
  }
  // Kill while saves are in flight.
  const auto giveUp = std::chrono::steady_clock::now() + 60s;
  while (std::chrono::steady_clock::now() < giveUp) {
    {
      std::lock_guard lock(mutex);
      if (acknowledged.size() >= 150) break;
    }
    std::this_thread::sleep_for(5ms);
  }
  app->signal(SIGKILL);
  app->wait(10s);
  stop = true;
  for (auto& client : clients) client.join();
  ASSERT_GE(acknowledged.size(), 150u) << "saves were not acknowledged";

  // Every page file on disk is whole; every acknowledged page is among them.
  std::set<int> onDisk;
  for (const auto& entry : std::filesystem::directory_iterator(home.vault() + "/General")) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with("page-") || !name.ends_with(".md")) continue;
    const int id = std::stoi(name.substr(5));
    EXPECT_EQ(readText(entry.path().string()), contentOf(id)) << name;
    onDisk.insert(id);
  }
  for (int id : acknowledged) EXPECT_TRUE(onDisk.count(id)) << "lost page " << id;

  // After a restart the index finds every acknowledged page.
  app = startApplication(home);
  ASSERT_TRUE(app);
  for (int id : acknowledged) {
    const std::string token = "tok" + std::to_string(id) + "x";
    nlohmann::json hits;
    for (int attempt = 0; attempt < 50; ++attempt) {
      hits = nlohmann::json::parse(
          replyBody(sendRequest(kPort, "GET /search?q=" + token + " HTTP/1.1\r\n\r\n")), nullptr,
          false);
      if (hits.is_array() && !hits.empty()) break;
      std::this_thread::sleep_for(100ms);  // a rebuild may still be running
    }
    ASSERT_TRUE(hits.is_array() && hits.size() == 1) << token << ": " << hits.dump();
    EXPECT_EQ(hits[0]["filename"], "page-" + std::to_string(id) + ".md");
  }
  app->signal(SIGTERM);
  EXPECT_EQ(app->wait(15s), 0);
}

}  // namespace
}  // namespace corvanta
