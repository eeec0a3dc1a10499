#include "http/request_handler.h"

#include <gtest/gtest.h>

#include "http/origin_policy.h"

namespace corvanta {
namespace {

// A router that records what reached it and answers {"ok": true}.
struct RecordingRouter {
  std::optional<HttpRequest> seen;
  Router router() {
    return [this](const HttpRequest& request) {
      seen = request;
      return RouteResponse{200, {{"ok", true}}};
    };
  }
};

constexpr const char* kOkBody = "{\n  \"ok\" : true\n}";

TEST(OriginPolicy, AllowsAbsentNullAndExtensionOrigins) {
  EXPECT_TRUE(isAllowedOrigin(std::nullopt));
  EXPECT_TRUE(isAllowedOrigin(""));
  EXPECT_TRUE(isAllowedOrigin("null"));
  EXPECT_TRUE(isAllowedOrigin("chrome-extension://abc"));
  EXPECT_TRUE(isAllowedOrigin("moz-extension://abc"));
  EXPECT_TRUE(isAllowedOrigin("safari-web-extension://abc"));
  EXPECT_FALSE(isAllowedOrigin("https://example.com"));
  EXPECT_FALSE(isAllowedOrigin("http://127.0.0.1:7421"));
  EXPECT_FALSE(isAllowedOrigin("NULL"));
  EXPECT_FALSE(isAllowedOrigin("Chrome-Extension://abc"));
  EXPECT_FALSE(isAllowedOrigin("chrome-extension://abc\nSet-Cookie: a=b"));
}

TEST(OriginPolicy, OnlyExtensionsGetCorsHeaders) {
  EXPECT_TRUE(wantsCorsHeaders("chrome-extension://abc"));
  EXPECT_FALSE(wantsCorsHeaders(std::nullopt));
  EXPECT_FALSE(wantsCorsHeaders(""));
  EXPECT_FALSE(wantsCorsHeaders("null"));
}

TEST(OriginPolicy, AllowsOnlyLoopbackHostNames) {
  for (const char* host :
       {"127.0.0.1", "127.0.0.1:7421", "localhost", "LocalHost:7421", "[::1]", "[::1]:7421"}) {
    EXPECT_TRUE(isAllowedHost(std::string(host))) << host;
  }
  EXPECT_TRUE(isAllowedHost(std::nullopt));
  for (const char* host :
       {"", "evil.com", "evil.com:7421", "localhost.evil.com", "127.0.0.1.nip.io",
        "127.0.0.1:", "127.0.0.1:abc", "localhost:7421:1", "0.0.0.0:7421"}) {
    EXPECT_FALSE(isAllowedHost(std::string(host))) << host;
  }
}

TEST(RequestHandler, PlainRequestGetsJsonWithoutCors) {
  RecordingRouter recording;
  std::string reply =
      handleHttpRequest("GET /ping HTTP/1.1\r\nHost: 127.0.0.1:7421\r\n\r\n", recording.router());
  EXPECT_EQ(reply, std::string("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                               "Content-Length: 17\r\nConnection: close\r\n\r\n") +
                       kOkBody);
  ASSERT_TRUE(recording.seen);
  EXPECT_EQ(recording.seen->path, "ping");
}

TEST(RequestHandler, ExtensionOriginIsEchoedWithVary) {
  RecordingRouter recording;
  std::string reply = handleHttpRequest(
      "GET /ping HTTP/1.1\r\nOrigin: chrome-extension://abc\r\n\r\n", recording.router());
  EXPECT_EQ(reply, std::string("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                               "Content-Length: 17\r\n"
                               "Access-Control-Allow-Origin: chrome-extension://abc\r\n"
                               "Vary: Origin\r\n"
                               "Access-Control-Allow-Methods: GET, POST, PUT, DELETE, OPTIONS\r\n"
                               "Access-Control-Allow-Headers: Content-Type\r\n"
                               "Access-Control-Allow-Private-Network: true\r\n"
                               "Connection: close\r\n\r\n") +
                       kOkBody);
}

TEST(RequestHandler, UpperCaseNullOriginIsAllowedWithoutCors) {
  RecordingRouter recording;
  std::string reply =
      handleHttpRequest("GET /ping HTTP/1.1\r\nORIGIN: null\r\n\r\n", recording.router());
  EXPECT_TRUE(reply.starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_EQ(reply.find("Access-Control"), std::string::npos);
}

TEST(RequestHandler, WebPageOriginIsRefusedWithoutCallingTheRouter) {
  RecordingRouter recording;
  std::string reply = handleHttpRequest("GET /kbs HTTP/1.1\r\nOrigin: https://example.com\r\n\r\n",
                                        recording.router());
  EXPECT_TRUE(reply.starts_with("HTTP/1.1 403 Forbidden\r\n"));  // exact bytes: socket tests
  EXPECT_FALSE(recording.seen);
}

TEST(RequestHandler, ForeignHostIsRefusedLikeAForeignOrigin) {
  RecordingRouter recording;
  std::string reply = handleHttpRequest(
      "GET /kbs HTTP/1.1\r\nHost: rebind.attacker.example:7421\r\n\r\n", recording.router());
  EXPECT_TRUE(reply.starts_with("HTTP/1.1 403 Forbidden\r\n"));
  EXPECT_FALSE(recording.seen);
  // A preflight under a foreign name grants nothing either.
  reply = handleHttpRequest(
      "OPTIONS /kbs HTTP/1.1\r\nHost: attacker.example\r\nOrigin: chrome-extension://a\r\n\r\n",
      recording.router());
  EXPECT_EQ(reply, bareNoContentResponse());
}

TEST(RequestHandler, PreflightFromExtension) {
  RecordingRouter recording;
  std::string reply = handleHttpRequest(
      "OPTIONS /kbs/General/files HTTP/1.1\r\nOrigin: moz-extension://x-y\r\n\r\n",
      recording.router());
  EXPECT_EQ(reply,
            "HTTP/1.1 204 No Content\r\n"
            "Access-Control-Allow-Origin: moz-extension://x-y\r\n"
            "Vary: Origin\r\n"
            "Access-Control-Allow-Methods: GET, POST, PUT, DELETE, OPTIONS\r\n"
            "Access-Control-Allow-Headers: Content-Type\r\n"
            "Access-Control-Allow-Private-Network: true\r\n"
            "Access-Control-Max-Age: 86400\r\n"
            "Connection: close\r\n\r\n");
  EXPECT_FALSE(recording.seen);
}

TEST(RequestHandler, PreflightWithoutOriginCarriesNoAllowOrigin) {
  RecordingRouter recording;
  std::string reply = handleHttpRequest("OPTIONS /ping HTTP/1.1\r\n\r\n", recording.router());
  EXPECT_TRUE(reply.starts_with("HTTP/1.1 204 No Content\r\nAccess-Control-Allow-Methods:"));
  EXPECT_EQ(reply.find("Allow-Origin"), std::string::npos);
}

TEST(RequestHandler, BytesThatAreNotUtf8GetInvalidRequest) {
  RecordingRouter recording;
  std::string reply = handleHttpRequest("GET /ping HTTP/1.1\r\n\r\n\xff\xfe", recording.router());
  EXPECT_EQ(reply,
            "HTTP/1.1 400 Bad Request\r\nContent-Type: application/json\r\nContent-Length: 33\r\n"
            "Connection: close\r\n\r\n{\n  \"error\" : \"Invalid request\"\n}");
  EXPECT_FALSE(recording.seen);
}

TEST(ResponseFormat, ReasonPhrases) {
  EXPECT_EQ(reasonPhrase(201), "Created");
  EXPECT_EQ(reasonPhrase(400), "Bad Request");
  EXPECT_EQ(reasonPhrase(403), "Forbidden");
  EXPECT_EQ(reasonPhrase(404), "Not Found");
  EXPECT_EQ(reasonPhrase(500), "Internal Server Error");
  EXPECT_EQ(reasonPhrase(200), "OK");
  EXPECT_EQ(reasonPhrase(418), "OK");
}

TEST(ResponseFormat, BodyIsPrettyWithSortedKeysAndExactLength) {
  std::string reply = formatResponse(201, {{"ok", true}, {"kb", "a/b"}}, std::nullopt);
  const std::string body = "{\n  \"kb\" : \"a\\/b\",\n  \"ok\" : true\n}";
  EXPECT_EQ(reply, "HTTP/1.1 201 Created\r\nContent-Type: application/json\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace
}  // namespace corvanta
