#include "mcp/http_application_proxy.h"

#include <gtest/gtest.h>

#include "mcp/tool_result.h"
#include "support/loopback_http_server.h"

namespace corvanta {
namespace {

// Answers every path with the same canned reply.
struct FixedServer {
  explicit FixedServer(int status, std::string body)
      : server([status, body](const test::RecordedRequest&) {
          return test::CannedReply{status, body};
        }),
        proxy(client, server.url()) {}

  test::LoopbackHttpServer server;
  HttpClient client;
  HttpApplicationProxy proxy;
};

const nlohmann::json kUnreachable = makeToolResult(
    "Error: Failed to reach Corvanta Vault HTTP server. Is Corvanta Vault running?", true);

TEST(HttpApplicationProxyTest, PingCountsOnlyOkTrueWithStatus200) {
  EXPECT_TRUE(FixedServer(200, R"({"ok":true,"version":"1.0.0"})").proxy.isReachable());
  for (auto [status, body] : std::vector<std::pair<int, std::string>>{{200, R"({"ok":false})"},
                                                                      {200, R"({"ok":"true"})"},
                                                                      {200, R"({"ok":1})"},
                                                                      {200, R"([{"ok":true}])"},
                                                                      {200, "not json"},
                                                                      {200, ""},
                                                                      {201, R"({"ok":true})"},
                                                                      {500, R"({"ok":true})"}}) {
    FixedServer fixture(status, body);
    EXPECT_FALSE(fixture.proxy.isReachable()) << status << " " << body;
    ASSERT_EQ(fixture.server.requests().size(), 1u);
    EXPECT_EQ(fixture.server.requests()[0].method, "GET");
    EXPECT_EQ(fixture.server.requests()[0].target, "/ping");
  }
}

TEST(HttpApplicationProxyTest, KnowledgeBasesNeedANonEmptyArrayOfObjects) {
  FixedServer listed(200, R"([{"name":"Research","fileCount":2},{"name":"Inbox"}])");
  EXPECT_TRUE(listed.proxy.reportsKnowledgeBases());
  EXPECT_EQ(listed.server.requests()[0].target, "/kbs");
  for (auto [status, body] :
       std::vector<std::pair<int, std::string>>{{200, "[]"},
                                                {200, R"([{"name":"a"},"b"])"},
                                                {200, R"({"name":"a"})"},
                                                {404, R"([{"name":"a"}])"}}) {
    EXPECT_FALSE(FixedServer(status, body).proxy.reportsKnowledgeBases()) << status << " " << body;
  }
}

TEST(HttpApplicationProxyTest, ForwardsToolCallsAndPassesResultsThroughUnchanged) {
  const std::string result = R"({"content":[{"type":"text","text":"3 pages"}],"extra":1})";
  FixedServer fixture(200, result);
  nlohmann::json arguments = {{"query", "rust async"}, {"kb", "Research"}};
  EXPECT_EQ(fixture.proxy.forwardToolCall("corvanta_search", arguments),
            nlohmann::json::parse(result));

  auto requests = fixture.server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/mcp-tool");
  EXPECT_EQ(requests[0].headers["content-type"], "application/json");
  EXPECT_EQ(nlohmann::json::parse(requests[0].body),
            (nlohmann::json{{"name", "corvanta_search"}, {"arguments", arguments}}));
}

TEST(HttpApplicationProxyTest, UnusableRepliesBecomeTheUnreachableResult) {
  for (auto [status, body] : std::vector<std::pair<int, std::string>>{
           {500, R"({"content":[]})"}, {200, "[]"}, {200, "<html>"}}) {
    EXPECT_EQ(FixedServer(status, body).proxy.forwardToolCall("corvanta_list", {}), kUnreachable)
        << status << " " << body;
  }
  // Nobody listening at all.
  HttpClient client;
  int port;
  {
    test::LoopbackHttpServer gone([](const test::RecordedRequest&) { return test::CannedReply{}; });
    port = gone.port();
  }
  HttpApplicationProxy proxy(client, "http://127.0.0.1:" + std::to_string(port));
  EXPECT_FALSE(proxy.isReachable());
  EXPECT_FALSE(proxy.reportsKnowledgeBases());
  EXPECT_EQ(proxy.forwardToolCall("corvanta_list", nlohmann::json::object()), kUnreachable);
}

}  // namespace
}  // namespace corvanta
