// The transport over real sockets: the read rules, the limits and the exact
// bytes on the wire.
#include "http/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "raw_socket.h"

namespace corvanta {
namespace {

using namespace std::chrono_literals;
using test::RawSocket;
using test::replyBody;
using test::replyStatus;
using test::sendRequest;

// Answers with what it was given, so tests can see exactly what was read.
RouteResponse echo(const HttpRequest& request) {
  nlohmann::json body = {{"method", request.method}, {"path", request.path}};
  body["bodyBytes"] = request.body ? request.body->size() : 0;
  return {200, body};
}

class HttpServerTest : public ::testing::Test {
 protected:
  void startServer(HTTPServer::Limits limits = {}) {
    server_ = std::make_unique<HTTPServer>(echo, 0, limits);
    ASSERT_TRUE(server_->start());
    port_ = server_->port();
  }
  void SetUp() override { startServer(); }

  nlohmann::json echoed(const std::string& reply) {
    return nlohmann::json::parse(replyBody(reply));
  }

  std::unique_ptr<HTTPServer> server_;
  uint16_t port_ = 0;
};

TEST_F(HttpServerTest, AnswersOneRequestAndCloses) {
  std::string reply = sendRequest(port_, "GET /ping HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_TRUE(reply.starts_with("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"));
  EXPECT_EQ(echoed(reply)["path"], "ping");
  // The Content-Length matches the bytes that followed.
  EXPECT_NE(reply.find("Content-Length: " + std::to_string(replyBody(reply).size()) + "\r\n"),
            std::string::npos);
}

TEST_F(HttpServerTest, PreflightAndRefusalsAreExactOnTheWire) {
  EXPECT_EQ(sendRequest(port_, "OPTIONS /kbs HTTP/1.1\r\nOrigin: https://evil.example\r\n\r\n"),
            "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(sendRequest(port_, "GET /kbs HTTP/1.1\r\nOrigin: https://evil.example\r\n\r\n"),
            "HTTP/1.1 403 Forbidden\r\nContent-Type: application/json\r\nContent-Length: 36\r\n"
            "Connection: close\r\n\r\n{\n  \"error\" : \"Origin not allowed\"\n}");
  std::string preflight =
      sendRequest(port_, "OPTIONS /kbs HTTP/1.1\r\nOrigin: chrome-extension://abc\r\n\r\n");
  EXPECT_TRUE(
      preflight.starts_with("HTTP/1.1 204 No Content\r\n"
                            "Access-Control-Allow-Origin: chrome-extension://abc\r\n"
                            "Vary: Origin\r\n"));
  EXPECT_TRUE(preflight.ends_with("Access-Control-Max-Age: 86400\r\nConnection: close\r\n\r\n"));
}

TEST_F(HttpServerTest, BodyInTwoSegmentsIsReadAsOneRequest) {
  const std::string body(3000, 'x');
  const std::string head = "POST /kbs/General/files HTTP/1.1\r\nContent-Length: 3000\r\n\r\n";
  std::string reply = sendRequest(port_, {head + body.substr(0, 1000), body.substr(1000)});
  EXPECT_EQ(echoed(reply)["bodyBytes"], 3000);
}

TEST_F(HttpServerTest, WithoutContentLengthOnlyTheFirstReadCounts) {
  const std::string head = "POST /kbs/General/files HTTP/1.1\r\n\r\n";
  std::string reply = sendRequest(port_, {head + std::string(1000, 'x'), std::string(2000, 'y')});
  EXPECT_EQ(echoed(reply)["bodyBytes"], 1000);
}

TEST_F(HttpServerTest, NonNumericContentLengthHandlesTheFirstReadUnchanged) {
  const std::string head = "POST /x HTTP/1.1\r\nContent-Length: lots\r\n\r\n";
  std::string reply = sendRequest(port_, {head + "abc", "def"});
  EXPECT_EQ(echoed(reply)["bodyBytes"], 3);
}

TEST_F(HttpServerTest, MultibyteCharacterSplitAcrossSegmentsSurvives) {
  // "é" is two bytes; the first segment ends between them.
  const std::string body = std::string(999, 'a') + "\xc3\xa9";
  const std::string head = "POST /x HTTP/1.1\r\nContent-Length: 1001\r\n\r\n";
  std::string reply = sendRequest(port_, {head + body.substr(0, 1000), body.substr(1000)});
  ASSERT_EQ(replyStatus(reply), 200) << reply;
  EXPECT_EQ(echoed(reply)["bodyBytes"], 1001);
}

TEST_F(HttpServerTest, PeerThatStopsSendingIsAnsweredForWhatArrived) {
  RawSocket socket(port_);
  socket.send("POST /x HTTP/1.1\r\nContent-Length: 100\r\n\r\nonly-this");
  std::this_thread::sleep_for(100ms);
  socket.shutdownWrite();  // the completion read ends early
  EXPECT_EQ(echoed(socket.readUntilClosed())["bodyBytes"], 9);
}

TEST_F(HttpServerTest, OversizedContentLengthIsRefusedWithoutReading) {
  std::string reply = sendRequest(port_, "POST /x HTTP/1.1\r\nContent-Length: 10485761\r\n\r\nabc");
  EXPECT_EQ(replyStatus(reply), 400);
  EXPECT_EQ(replyBody(reply), "{\n  \"error\" : \"Invalid request\"\n}");
  // Exactly 10 MiB is still accepted (announced; the rest never comes).
  RawSocket socket(port_);
  socket.send("POST /x HTTP/1.1\r\nContent-Length: 10485760\r\n\r\nabc");
  EXPECT_FALSE(socket.closedWithoutReply(300ms));  // waiting for the rest of the body
}

TEST_F(HttpServerTest, SingleWordRequestLineReachesTheRouterAsRoot) {
  std::string reply = sendRequest(port_, "HELLO\r\n\r\n");
  EXPECT_EQ(echoed(reply)["method"], "GET");
  EXPECT_EQ(echoed(reply)["path"], "/");
}

TEST_F(HttpServerTest, ConnectionThatSendsNothingIsClosedWithoutReply) {
  RawSocket socket(port_);
  ASSERT_TRUE(socket.connected());
  socket.shutdownWrite();
  EXPECT_TRUE(socket.closedWithoutReply(2s));
}

TEST_F(HttpServerTest, PortInUseIsReported) {
  HTTPServer second(echo, port_);
  EXPECT_FALSE(second.start());
  EXPECT_FALSE(second.isListening());
  // The first server is unaffected.
  EXPECT_EQ(replyStatus(sendRequest(port_, "GET /ping HTTP/1.1\r\n\r\n")), 200);
}

TEST_F(HttpServerTest, CancelStopsAcceptingNewConnections) {
  server_->cancel();
  EXPECT_FALSE(server_->isListening());
  RawSocket socket(port_);
  EXPECT_FALSE(socket.connected());
}

TEST(HttpServerLimits, IdleConnectionIsClosedAfterTheTimeout) {
  HTTPServer server(echo, 0, {.idleTimeout = 300ms});
  ASSERT_TRUE(server.start());
  RawSocket silent(server.port());
  EXPECT_TRUE(silent.closedWithoutReply(3s));

  // A body that stalls halfway is dropped too, without an answer.
  RawSocket stalled(server.port());
  stalled.send("POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc");
  EXPECT_TRUE(stalled.closedWithoutReply(3s));
}

TEST(HttpServerLimits, ConnectionsBeyondTheLimitWaitForAFreeSlot) {
  HTTPServer server(echo, 0, {.maxConnections = 2, .idleTimeout = 800ms});
  ASSERT_TRUE(server.start());
  RawSocket first(server.port());
  RawSocket second(server.port());
  std::this_thread::sleep_for(100ms);
  // The third connects (kernel backlog) but is not served while both slots are held.
  RawSocket third(server.port());
  third.send("GET /ping HTTP/1.1\r\n\r\n");
  EXPECT_EQ(third.readUntilClosed(300ms), "");
  // Once the idle ones time out, it is answered.
  EXPECT_EQ(replyStatus(third.readUntilClosed(5s)), 200);
}

TEST(HttpServerLimits, ManyConcurrentClientsAreAllAnswered) {
  HTTPServer server(echo, 0, {.maxConnections = 8});
  ASSERT_TRUE(server.start());
  std::atomic<int> answered{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 16; ++i) {
    clients.emplace_back([&] {
      for (int j = 0; j < 20; ++j) {
        if (replyStatus(sendRequest(server.port(), "GET /ping HTTP/1.1\r\n\r\n")) == 200)
          ++answered;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(answered, 320);
}

}  // namespace
}  // namespace corvanta
