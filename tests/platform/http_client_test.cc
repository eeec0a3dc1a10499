#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "support/loopback_http_server.h"

namespace corvanta {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;

test::LoopbackHttpServer::Handler answer(int status, std::string body) {
  return [status, body](const test::RecordedRequest&) {
    return test::CannedReply{status, body, "application/json"};
  };
}

std::optional<test::CannedReply> hang(const test::RecordedRequest&) { return std::nullopt; }

milliseconds since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

TEST(HttpClientTest, SendsWellFormedRequestsAndReturnsAnyStatus) {
  test::LoopbackHttpServer server([](const test::RecordedRequest& request) {
    if (request.target == "/missing") return test::CannedReply{404, "{\"error\":\"no\"}"};
    return test::CannedReply{200, "{\"ok\":true}"};
  });
  HttpClient client;

  auto response = client.request("GET", server.url("/ping?x=1"), {}, "", seconds(5));
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 200);
  EXPECT_EQ(response->body, "{\"ok\":true}");

  response = client.request("POST", server.url("/mcp-tool"), {{"Content-Type", "application/json"}},
                            "{\"name\":\"x\"}", seconds(5));
  ASSERT_TRUE(response);

  response = client.request("GET", server.url("/missing"), {}, "", seconds(5));
  ASSERT_TRUE(response);
  EXPECT_EQ(response->status, 404);
  EXPECT_EQ(response->body, "{\"error\":\"no\"}");

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/ping?x=1");
  EXPECT_EQ(requests[0].headers["host"], "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(requests[0].headers["connection"], "close");
  EXPECT_EQ(requests[1].method, "POST");
  EXPECT_EQ(requests[1].headers["content-type"], "application/json");
  EXPECT_EQ(requests[1].headers["content-length"], "12");
  EXPECT_EQ(requests[1].body, "{\"name\":\"x\"}");
}

TEST(HttpClientTest, ResolvesHostNames) {
  test::LoopbackHttpServer server(answer(200, "{}"));
  HttpClient client;
  const std::string authority = "localhost:" + std::to_string(server.port());
  auto response = client.request("GET", "http://" + authority + "/", {}, "", seconds(5));
  ASSERT_TRUE(response);
  EXPECT_EQ(server.requests().at(0).headers["host"], authority);
}

TEST(HttpClientTest, RefusesUnusableRequestsWithoutSendingThem) {
  test::LoopbackHttpServer server(answer(200, "{}"));
  HttpClient client;
  EXPECT_FALSE(client.request("GET", "not a url", {}, "", seconds(1)));
  EXPECT_FALSE(client.request("GET", "ws://127.0.0.1:1/", {}, "", seconds(1)));
  EXPECT_FALSE(client.request("FROB", server.url("/"), {}, "", seconds(1)));
  EXPECT_FALSE(client.request("GET", server.url("/"), {{"X-A", "1\r\nX-B: 2"}}, "", seconds(1)));
  EXPECT_FALSE(client.request("GET", server.url("/"), {{"X-A\n", "1"}}, "", seconds(1)));
  EXPECT_TRUE(server.requests().empty());
  EXPECT_EQ(client.inFlight(), 0u);
}

TEST(HttpClientTest, TransportFailuresGiveNothing) {
  HttpClient client;
  int closedPort;
  {
    test::LoopbackHttpServer gone(answer(200, "{}"));
    closedPort = gone.port();
  }
  auto start = Clock::now();
  EXPECT_FALSE(client.request("GET", "http://127.0.0.1:" + std::to_string(closedPort) + "/", {}, "",
                              seconds(5)));
  EXPECT_LT(since(start), seconds(2));

  // A TLS handshake with a server that speaks plain HTTP fails cleanly.
  test::LoopbackHttpServer plain(answer(200, "{}"));
  EXPECT_FALSE(client.request("GET", "https://127.0.0.1:" + std::to_string(plain.port()) + "/", {},
                              "", seconds(1)));
}

TEST(HttpClientTest, TimeoutCoversTheWholeExchange) {
  test::LoopbackHttpServer server(hang);
  HttpClient client;
  auto start = Clock::now();
  EXPECT_FALSE(client.request("GET", server.url("/"), {}, "", milliseconds(300)));
  EXPECT_GE(since(start), milliseconds(250));
  EXPECT_LT(since(start), milliseconds(1500));
  EXPECT_EQ(client.inFlight(), 0u);
}

TEST(HttpClientTest, SendReturnsAtOnceAndShutdownLetsFinishingRequestsComplete) {
  test::LoopbackHttpServer server([](const test::RecordedRequest&) {
    std::this_thread::sleep_for(milliseconds(200));
    return test::CannedReply{200, "{}"};
  });
  HttpClient client;
  auto start = Clock::now();
  client.send("POST", server.url("/e"), {}, "{\"n\":1}", seconds(5));
  client.send("POST", server.url("/e"), {}, "{\"n\":2}", seconds(5));
  EXPECT_LT(since(start), milliseconds(100));
  EXPECT_TRUE(client.shutdown(seconds(5)));
  EXPECT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(client.inFlight(), 0u);
}

TEST(HttpClientTest, ShutdownAbandonsHungRequestsWithinItsGrace) {
  test::LoopbackHttpServer server(hang);
  HttpClient client;
  client.send("GET", server.url("/"), {}, "", seconds(60));
  ASSERT_TRUE(server.waitForRequests(1));
  EXPECT_EQ(client.inFlight(), 1u);

  // A blocking request on another thread must be released by the shutdown too.
  std::atomic<bool> released = false;
  std::thread waiter([&] {
    EXPECT_FALSE(client.request("GET", server.url("/"), {}, "", seconds(60)));
    released = true;
  });
  ASSERT_TRUE(server.waitForRequests(2));

  auto start = Clock::now();
  EXPECT_FALSE(client.shutdown(milliseconds(300)));
  EXPECT_LT(since(start), milliseconds(1000));
  waiter.join();
  EXPECT_TRUE(released);

  // Closed for good: nothing new is sent.
  client.send("GET", server.url("/late"), {}, "", seconds(1));
  EXPECT_FALSE(client.request("GET", server.url("/late"), {}, "", seconds(1)));
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST(HttpClientTest, FireAndForgetRequestsRunAFewAtATimeAndTheRestWait) {
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  test::LoopbackHttpServer server([gate](const test::RecordedRequest&) {
    gate.wait();
    return test::CannedReply{200, "{}"};
  });
  HttpClient client;
  for (int i = 0; i < 20; ++i) client.send("POST", server.url("/e"), {}, "{}", seconds(60));
  EXPECT_EQ(client.inFlight(), 20u);
  ASSERT_TRUE(server.waitForRequests(8));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(server.requests().size(), 8u);

  // A caller that waits for its answer does not queue behind them.
  std::thread waiter([&] { client.request("GET", server.url("/"), {}, "", milliseconds(300)); });
  EXPECT_TRUE(server.waitForRequests(9));
  waiter.join();

  release.set_value();
  EXPECT_TRUE(client.shutdown(seconds(10)));
  EXPECT_EQ(server.requests().size(), 21u);
}

TEST(HttpClientTest, FireAndForgetRequestsBeyondTheWaitingLineAreDropped) {
  test::LoopbackHttpServer server(hang);
  HttpClient client;
  for (int i = 0; i < 1100; ++i) client.send("GET", server.url("/"), {}, "", seconds(60));
  EXPECT_EQ(client.inFlight(), 1008u);
  auto start = Clock::now();
  EXPECT_FALSE(client.shutdown(milliseconds(100)));
  EXPECT_LT(since(start), milliseconds(1000));
}

TEST(HttpClientTest, DestroyingAClientWithAHungRequestDoesNotWait) {
  test::LoopbackHttpServer server(hang);
  auto start = Clock::now();
  {
    HttpClient client;
    client.send("GET", server.url("/"), {}, "", seconds(60));
    ASSERT_TRUE(server.waitForRequests(1));
  }
  EXPECT_LT(since(start), milliseconds(1000));
}

}  // namespace
}  // namespace corvanta
