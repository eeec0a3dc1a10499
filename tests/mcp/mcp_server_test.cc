#include "mcp/mcp_server.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "mcp/application_proxy.h"
#include "mcp/tool_result.h"
#include "platform/app_version.h"
#include "platform/background_queue.h"
#include "recording_analytics.h"
#include "support/child_process.h"
#include "support/loopback_http_server.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

using nlohmann::json;

constexpr char kProxyNotice[] = "Kest MCP: using HTTP proxy (TCC permission issue detected)\n";

// Plays the running application: answers the probes as told and records what is
// forwarded to it.
class FakeApplicationProxy : public ApplicationProxy {
 public:
  bool reachable = false;
  bool hasKnowledgeBases = false;
  int pings = 0;
  int knowledgeBaseQueries = 0;
  std::vector<std::pair<std::string, json>> forwarded;
  std::optional<json> reply;  // instead of the default forwarded result

  bool isReachable() override {
    ++pings;
    return reachable;
  }
  bool reportsKnowledgeBases() override {
    ++knowledgeBaseQueries;
    return hasKnowledgeBases;
  }
  json forwardToolCall(const std::string& name, const json& arguments) override {
    forwarded.emplace_back(name, arguments);
    if (reply) return *reply;
    return makeToolResult("from the application: " + name);
  }
};

std::vector<json> jsonLines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

std::string callLine(int id, const std::string& name, const json& arguments = json::object()) {
  return json{{"jsonrpc", "2.0"},
              {"id", id},
              {"method", "tools/call"},
              {"params", {{"name", name}, {"arguments", arguments}}}}
      .dump();
}

class MCPServerTest : public ::testing::Test {
 protected:
  struct Outcome {
    std::string output;
    std::string error;
  };

  std::unique_ptr<MCPServer> makeServer(MCPServer::Streams streams = {-1, -1, -1}) {
    if (streams.error == -1) {
      streams.error = ::open((dir_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    return std::make_unique<MCPServer>(store_, proxy_, analytics_, streams);
  }

  // Runs a whole session over files: `input` in, everything written out.
  Outcome runSession(const std::string& input) {
    test::writeText(dir_ / "in", input);
    MCPServer::Streams streams;
    streams.input = ::open((dir_ / "in").c_str(), O_RDONLY);
    streams.output = ::open((dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    streams.error = ::open((dir_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    makeServer(streams)->run();
    for (int fd : {streams.input, streams.output, streams.error}) ::close(fd);
    return {test::readText(dir_ / "out"), test::readText(dir_ / "err")};
  }

  test::TempDir dir_;
  std::shared_ptr<KestFileManager> store_ = std::make_shared<KestFileManager>(
      dir_ / "vault", Paths(dir_.path(), dir_ / "config", dir_ / "data"),
      BackgroundQueue::shared());
  std::shared_ptr<FakeApplicationProxy> proxy_ = std::make_shared<FakeApplicationProxy>();
  test::RecordingAnalytics analytics_;
};

// --- Start-up check -----------------------------------------------------------

TEST_F(MCPServerTest, EmptyVaultWithoutApplicationRunsLocallyAndSilently) {
  const Outcome outcome = runSession(callLine(1, "no_such_tool") + "\n");
  EXPECT_EQ(proxy_->pings, 1);
  EXPECT_EQ(proxy_->knowledgeBaseQueries, 0);
  EXPECT_TRUE(proxy_->forwarded.empty());
  EXPECT_EQ(outcome.error, "");
  const std::vector<json> lines = jsonLines(outcome.output);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["result"], makeToolResult("Unknown tool: no_such_tool", true));
}

TEST_F(MCPServerTest, VisibleKnowledgeBaseMeansTheApplicationIsNeverAsked) {
  store_->createKnowledgeBase("Research");
  proxy_->reachable = true;
  proxy_->hasKnowledgeBases = true;
  std::unique_ptr<MCPServer> server = makeServer();
  server->checkStartup();
  EXPECT_FALSE(server->usesHTTPProxy());
  EXPECT_EQ(proxy_->pings, 0);
  EXPECT_EQ(proxy_->knowledgeBaseQueries, 0);
}

TEST_F(MCPServerTest, ApplicationWithoutKnowledgeBasesIsNoReasonToForward) {
  proxy_->reachable = true;
  std::unique_ptr<MCPServer> server = makeServer();
  server->checkStartup();
  EXPECT_FALSE(server->usesHTTPProxy());
  EXPECT_EQ(proxy_->knowledgeBaseQueries, 1);
  EXPECT_EQ(test::readText(dir_ / "err"), "");
}

TEST_F(MCPServerTest, ApplicationSeeingKnowledgeBasesTakesOverEveryToolCall) {
  proxy_->reachable = true;
  proxy_->hasKnowledgeBases = true;
  const Outcome outcome = runSession(callLine(1, "corvanta_search", {{"query", "rust"}}) + "\n" +
                                     callLine(2, "corvanta_delete_kb", {{"name", "Old"}}) + "\n");
  EXPECT_EQ(outcome.error, kProxyNotice);
  ASSERT_EQ(proxy_->forwarded.size(), 2u);
  EXPECT_EQ(proxy_->forwarded[0],
            std::make_pair(std::string("corvanta_search"), json{{"query", "rust"}}));
  EXPECT_EQ(proxy_->forwarded[1].first, "corvanta_delete_kb");
  const std::vector<json> lines = jsonLines(outcome.output);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1]["result"], makeToolResult("from the application: corvanta_delete_kb"));
  // Forwarded calls are still the assistant's tool calls.
  EXPECT_EQ(analytics_.events().size(), 2u);
}

// --- Tool-call override ---------------------------------------------------------

TEST_F(MCPServerTest, ForwardingAlwaysSendsAnArgumentsObject) {
  proxy_->reachable = true;
  proxy_->hasKnowledgeBases = true;
  std::unique_ptr<MCPServer> server = makeServer();
  server->checkStartup();
  server->callTool({{"name", 12}, {"arguments", "text"}});
  server->callTool(json::object());
  ASSERT_EQ(proxy_->forwarded.size(), 2u);
  for (const auto& [name, arguments] : proxy_->forwarded) {
    EXPECT_EQ(name, "");
    EXPECT_EQ(arguments, json::object());
  }
}

TEST_F(MCPServerTest, SaveUrlGoesToTheApplicationWheneverItAnswers) {
  std::unique_ptr<MCPServer> server = makeServer();
  server->checkStartup();  // empty vault, application down: no proxy
  ASSERT_FALSE(server->usesHTTPProxy());

  proxy_->reachable = true;  // the application starts later
  const json saved = server->callTool(
      {{"name", "corvanta_save_url"}, {"arguments", {{"url", "https://example.org/a"}}}});
  EXPECT_EQ(saved, makeToolResult("from the application: corvanta_save_url"));
  ASSERT_EQ(proxy_->forwarded.size(), 1u);
  EXPECT_EQ(proxy_->forwarded[0].second, (json{{"url", "https://example.org/a"}}));

  // Other tools stay local even though the application answers.
  server->callTool({{"name", "no_such_tool"}});
  EXPECT_EQ(proxy_->forwarded.size(), 1u);
}

TEST_F(MCPServerTest, SaveUrlRunsLocallyWhenTheApplicationIsAway) {
  std::unique_ptr<MCPServer> server = makeServer();
  const int pingsBefore = proxy_->pings;
  // No url: answered locally without any capture attempt.
  const json result = server->callTool({{"name", "corvanta_save_url"}});
  EXPECT_EQ(proxy_->pings, pingsBefore + 1);  // a fresh probe for every save
  EXPECT_TRUE(proxy_->forwarded.empty());
  EXPECT_EQ(result["isError"], true);
}

// --- Read loop ------------------------------------------------------------------

TEST_F(MCPServerTest, OnlyWellFormedObjectsAreAnsweredInOrder) {
  const std::string input =
      "\n"
      "   \n"
      "not json\n"
      "[{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\"}]\n"
      "42\n"
      "\"initialize\"\n"
      "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\"}\n"
      "{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}\n"
      "{\"jsonrpc\":\"2.0\",\"id\":2,\"method\":\"tools/list\"}\r\n"
      "{\"jsonrpc\":\"2.0\",\"id\":3,\"method\":\"ping\"}";  // no final newline
  const Outcome outcome = runSession(input);
  const std::vector<json> lines = jsonLines(outcome.output);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["id"], 1);
  EXPECT_EQ(lines[0]["result"]["serverInfo"]["version"], appVersion());
  EXPECT_EQ(lines[1]["id"], 2);
  EXPECT_EQ(lines[1]["result"]["tools"].size(), 16u);
  EXPECT_EQ(lines[2]["error"]["message"], "Method not found: ping");
  // One compact line per answer.
  EXPECT_EQ(outcome.output.back(), '\n');
  EXPECT_EQ(outcome.output.find("\n "), std::string::npos);
}

// A stray byte in a request must not cost the host its answer.
TEST_F(MCPServerTest, InvalidUtf8InARequestIsRepairedNotDropped) {
  proxy_->reachable = true;
  proxy_->hasKnowledgeBases = true;
  std::unique_ptr<MCPServer> server = makeServer();
  server->checkStartup();
  const std::string line = server->respondTo(
      "{\"jsonrpc\":\"2.0\",\"id\":4,\"method\":\"tools/call\",\"params\":{\"name\":"
      "\"corvanta_search\",\"arguments\":{\"query\":\"caf\xe9\"}}}");
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(json::parse(line)["id"], 4);
  ASSERT_EQ(proxy_->forwarded.size(), 1u);
  EXPECT_EQ(proxy_->forwarded[0].second["query"], "caf\uFFFD");
}

TEST_F(MCPServerTest, InvalidUtf8InAToolResultStillGivesAValidLine) {
  proxy_->reachable = true;
  proxy_->hasKnowledgeBases = true;
  proxy_->reply = makeToolResult("caf\xe9 au lait");
  std::unique_ptr<MCPServer> server = makeServer();
  server->checkStartup();
  const std::string line = server->respondTo(callLine(8, "corvanta_read_file"));
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(line.back(), '\n');
  const json response = json::parse(line);
  EXPECT_EQ(response["id"], 8);
  EXPECT_EQ(response["result"]["content"][0]["text"], "caf\uFFFD au lait");
}

// The host waits for nothing but its answer: a call's usage event is passed on
// only once the answer is out, and none is held back when the session ends.
TEST_F(MCPServerTest, EventsArePassedOnAfterTheirAnswersAreWritten) {
  // Records, for each event, how many answer lines the host could read by then.
  class OutputWatchingAnalytics : public Analytics {
   public:
    explicit OutputWatchingAnalytics(std::string path) : path_(std::move(path)) {}
    void capture(const std::string&, const json&) override {
      const std::string written = test::readText(path_);
      linesWritten.push_back(std::count(written.begin(), written.end(), '\n'));
    }
    std::vector<long> linesWritten;

   private:
    std::string path_;
  };
  OutputWatchingAnalytics watcher(dir_ / "out");
  test::writeText(dir_ / "in", callLine(1, "corvanta_search", {{"query", "a"}}) + "\n" +
                                   callLine(2, "corvanta_search", {{"query", "b"}}) + "\n");
  MCPServer::Streams streams;
  streams.input = ::open((dir_ / "in").c_str(), O_RDONLY);
  streams.output = ::open((dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  streams.error = ::open((dir_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  MCPServer(store_, proxy_, watcher, streams).run();
  for (int fd : {streams.input, streams.output, streams.error}) ::close(fd);
  ASSERT_EQ(watcher.linesWritten.size(), 2u);
  EXPECT_GE(watcher.linesWritten[0], 1);
  EXPECT_GE(watcher.linesWritten[1], 2);
}

// Events wait only while requests keep coming: a host that goes quiet (without
// closing the connection) must not keep them from being sent.
TEST_F(MCPServerTest, EventsAreSentWhenTheHostPauses) {
  int input[2], output[2];
  ASSERT_EQ(::pipe(input), 0);
  ASSERT_EQ(::pipe(output), 0);
  std::unique_ptr<MCPServer> server = makeServer({input[0], output[1], -1});
  std::future<void> running = std::async(std::launch::async, [&] { server->run(); });
  const std::string request = callLine(1, "corvanta_search", {{"query", "a"}}) + "\n";
  ASSERT_EQ(::write(input[1], request.data(), request.size()),
            static_cast<ssize_t>(request.size()));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (analytics_.events().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(analytics_.events().size(), 1u);
  ::close(input[1]);
  running.wait();
  for (int fd : {input[0], output[0], output[1]}) ::close(fd);
}

TEST_F(MCPServerTest, RespondToPassesTheEventsOnBeforeReturning) {
  std::unique_ptr<MCPServer> server = makeServer();
  ASSERT_FALSE(server->respondTo(callLine(1, "corvanta_search", {{"query", "a"}})).empty());
  ASSERT_EQ(analytics_.events().size(), 1u);
  EXPECT_EQ(analytics_.events()[0].first, "vault_mcp_tool_called");
  EXPECT_EQ(analytics_.events()[0].second["tool"], "corvanta_search");
}

// A host that stops reading our output will never read another answer: the
// server ends instead of waiting for more input.
TEST_F(MCPServerTest, ClosedOutputEndsTheLoopWhileInputIsStillOpen) {
  ::signal(SIGPIPE, SIG_IGN);
  int input[2], output[2];
  ASSERT_EQ(::pipe(input), 0);
  ASSERT_EQ(::pipe(output), 0);
  ::close(output[0]);
  std::unique_ptr<MCPServer> server = makeServer({input[0], output[1], -1});
  std::future<void> running = std::async(std::launch::async, [&] { server->run(); });
  const std::string request = "{\"id\":1,\"method\":\"tools/list\"}\n";
  ASSERT_EQ(::write(input[1], request.data(), request.size()),
            static_cast<ssize_t>(request.size()));
  const bool ended = running.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  ::close(input[1]);  // unblocks the loop if it did not end by itself
  running.wait();
  EXPECT_TRUE(ended);
  ::close(input[0]);
  ::close(output[1]);
}

// --- The executable ---------------------------------------------------------------

class MCPProcessTest : public ::testing::Test {
 protected:
  MCPProcessTest() {
    // A knowledge base keeps the start-up check from probing a real application
    // that may be running on this machine. Events go to a local recorder, never
    // to the real endpoint.
    std::filesystem::create_directories(dir_ / "vault/General");
    test::writeText(
        dir_ / "config/corvanta-vault/settings.json",
        json{{"vaultRootPath", dir_ / "vault"}, {"analytics.captureURL", events_.url("/capture/")}}
            .dump());
  }

  test::ProcessOptions options() const {
    test::ProcessOptions options;
    options.arguments = {"--mcp"};
    options.environment = {{"HOME", dir_.path()},
                           {"XDG_CONFIG_HOME", dir_ / "config"},
                           {"XDG_DATA_HOME", dir_ / "data"}};
    return options;
  }

  std::vector<json> eventsSent(size_t expected) {
    EXPECT_TRUE(events_.waitForRequests(expected));
    std::vector<json> events;
    for (const test::RecordedRequest& request : events_.requests()) {
      events.push_back(json::parse(request.body));
    }
    return events;
  }

  test::TempDir dir_;
  test::LoopbackHttpServer events_{[](const test::RecordedRequest&) {
    return test::CannedReply{200, "{\"status\":1}"};
  }};
};

TEST_F(MCPProcessTest, AnswersEachLineBeforeReadingTheNext) {
  test::ChildProcess child(test::corvantaBinary(), options());
  child.write("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\",\"params\":{}}\n");
  std::optional<std::string> first = child.readLine();
  ASSERT_TRUE(first);
  EXPECT_EQ(json::parse(*first)["result"]["protocolVersion"], "2024-11-05");

  child.write("{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}\n");
  child.write("{\"jsonrpc\":\"2.0\",\"id\":\"two\",\"method\":\"tools/list\"}\n");
  std::optional<std::string> second = child.readLine();
  ASSERT_TRUE(second);
  EXPECT_EQ(json::parse(*second)["id"], "two");

  child.closeInput();
  EXPECT_FALSE(child.readLine());  // nothing but answers on standard output
  EXPECT_EQ(child.wait(), 0);
}

TEST_F(MCPProcessTest, EndOfInputWithoutRequestsExitsCleanly) {
  test::ProcessOptions silent = options();
  silent.standardInput = "";
  const test::ProcessResult result = test::runProcess(test::corvantaBinary(), silent);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardOutput, "");
}

TEST_F(MCPProcessTest, ReportsItsStartAndEachToolCall) {
  test::ProcessOptions session = options();
  session.standardInput = callLine(1, "corvanta_list_knowledge_bases") + "\n";
  const test::ProcessResult result = test::runProcess(test::corvantaBinary(), session);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
  ASSERT_EQ(jsonLines(result.standardOutput).size(), 1u);

  std::multiset<std::string> names;
  json toolCall;
  for (const json& event : eventsSent(2)) {
    names.insert(event["event"].get<std::string>());
    if (event["event"] == "vault_mcp_tool_called") toolCall = event["properties"];
  }
  EXPECT_EQ(names, (std::multiset<std::string>{"vault_mcp_started", "vault_mcp_tool_called"}));
  EXPECT_EQ(toolCall["tool"], "corvanta_list_knowledge_bases");
  EXPECT_EQ(toolCall["permission"], "full");
}

// The host may close our input right after an assistant's last edit: the
// derived files must still catch up before the process is gone.
TEST_F(MCPProcessTest, LastEditReachesTheIndexBeforeExit) {
  test::writeText(dir_ / "vault/General/page.md", "# Old Title\n\nbody\n");
  test::ProcessOptions session = options();
  session.standardInput = callLine(1, "corvanta_edit_file",
                                   {{"kb", "General"},
                                    {"filename", "page.md"},
                                    {"content", "# Freshly Edited Title\n\nnew words\n"}}) +
                          "\n";
  const test::ProcessResult result = test::runProcess(test::corvantaBinary(), session);
  EXPECT_EQ(result.exitStatus, 0);
  ASSERT_EQ(jsonLines(result.standardOutput).size(), 1u);
  EXPECT_NE(test::readText(dir_ / "vault/General/_index.md").find("Freshly Edited Title"),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "vault/README.md"));
}

}  // namespace
}  // namespace corvanta
