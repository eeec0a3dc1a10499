#include "http/http_request.h"

#include <gtest/gtest.h>

namespace corvanta {
namespace {

TEST(HttpRequestParsing, TakesMethodTargetAndBody) {
  HttpRequest request =
      parseHttpRequest("POST /kbs/General/files HTTP/1.1\r\nHost: x\r\n\r\n{\"a\":1}");
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, "kbs/General/files");
  EXPECT_EQ(request.body, "{\"a\":1}");
}

TEST(HttpRequestParsing, KeepsQueryStringAndMethodCase) {
  HttpRequest request = parseHttpRequest("get //search?q=a+b HTTP/1.1\r\n\r\n");
  EXPECT_EQ(request.method, "get");
  EXPECT_EQ(request.path, "/search?q=a+b");  // only one slash is removed
  EXPECT_FALSE(request.body.has_value());    // empty after the blank line
}

TEST(HttpRequestParsing, ShortRequestLinesReadAsGetOfRoot) {
  for (const char* text : {"", "PING", "GET\r\nHost: x\r\n\r\nbody", "   \r\n"}) {
    HttpRequest request = parseHttpRequest(text);
    EXPECT_EQ(request.method, "GET") << text;
    EXPECT_EQ(request.path, "/") << text;
    EXPECT_FALSE(request.body.has_value()) << text;
  }
}

TEST(HttpRequestParsing, RepeatedSpacesAndMissingVersionAreAccepted) {
  HttpRequest request = parseHttpRequest("DELETE   /kbs/a\r\n");
  EXPECT_EQ(request.method, "DELETE");
  EXPECT_EQ(request.path, "kbs/a");
  EXPECT_FALSE(request.body.has_value());  // no blank line at all
}

TEST(HttpRequestParsing, BodyIsEverythingAfterTheFirstBlankLine) {
  HttpRequest request = parseHttpRequest("PUT /x HTTP/1.1\r\n\r\nline\r\n\r\nmore");
  EXPECT_EQ(request.body, "line\r\n\r\nmore");
}

TEST(HeaderLookup, MatchesNamesCaseInsensitivelyAndTrimsValues) {
  const char* text =
      "GET / HTTP/1.1\r\nORIGIN: \t chrome-extension://Abc \r\nOrigin: second\r\n\r\n";
  EXPECT_EQ(headerValue(text, "origin"), "chrome-extension://Abc");
  EXPECT_EQ(headerValue(text, "Origin"), "chrome-extension://Abc");
  EXPECT_EQ(headerValue(text, "host"), std::nullopt);
}

TEST(HeaderLookup, SearchesBodyLinesWhenNoHeaderMatched) {
  EXPECT_EQ(headerValue("POST / HTTP/1.1\r\n\r\norigin: from-body", "origin"), "from-body");
}

TEST(ContentLength, ReadsSignedDecimalFromTheFirstMatchingLine) {
  EXPECT_EQ(announcedContentLength("POST / HTTP/1.1\r\nContent-Length: 3000\r\n\r\n"), 3000);
  EXPECT_EQ(announcedContentLength("POST /\r\ncontent-length:+12\r\n"), 12);
  EXPECT_EQ(announcedContentLength("POST /\r\nContent-Length: -5\r\n"), -5);
  EXPECT_EQ(announcedContentLength("POST /\r\nContent-Length: 7\r\nContent-Length: 9\r\n"), 7);
}

TEST(ContentLength, NonNumericValuesGiveNoLength) {
  for (const char* value : {"", "abc", "12a", "1 2", "+", "-", "0x10", "99999999999999999999"}) {
    EXPECT_EQ(announcedContentLength(std::string("POST /\r\nContent-Length: ") + value + "\r\n"),
              std::nullopt)
        << value;
  }
  // Only the first matching line counts, even when it is unusable.
  EXPECT_EQ(announcedContentLength("POST /\r\nContent-Length: x\r\nContent-Length: 4\r\n"),
            std::nullopt);
}

TEST(ContentLength, BytesAfterHeadCountsRawBytes) {
  EXPECT_EQ(bytesAfterHead("GET / HTTP/1.1\r\n"), std::nullopt);
  EXPECT_EQ(bytesAfterHead("GET /\r\n\r\n"), 0u);
  EXPECT_EQ(bytesAfterHead("POST /\r\n\r\n\xc3\xa9\xc3"), 3u);  // a split character counts
}

TEST(QueryParameter, FindsTheFirstUsablePair) {
  EXPECT_EQ(queryParameter("search?q=react&kb=General", "q"), "react");
  EXPECT_EQ(queryParameter("search?q=react&kb=General", "kb"), "General");
  EXPECT_EQ(queryParameter("search?q=one&q=two", "q"), "one");
  EXPECT_EQ(queryParameter("search?q=&q=two", "q"), "two");  // empty values are skipped
  EXPECT_EQ(queryParameter("search?&&q=x&", "q"), "x");
  EXPECT_EQ(queryParameter("search?Q=x", "q"), std::nullopt);
  EXPECT_EQ(queryParameter("search", "q"), std::nullopt);
  EXPECT_EQ(queryParameter("search?q", "q"), std::nullopt);
}

TEST(QueryParameter, DecodesPercentButNotPlus) {
  EXPECT_EQ(queryParameter("s?q=a+b", "q"), "a+b");
  EXPECT_EQ(queryParameter("s?q=a%20b%2Bc", "q"), "a b+c");
  EXPECT_EQ(queryParameter("s?url=https%3A%2F%2Fx.com%2Fa%3Fb%3Dc", "url"), "https://x.com/a?b=c");
  EXPECT_EQ(queryParameter("s?q=a=b", "q"), "a=b");  // split at the first '=' only
}

TEST(QueryParameter, BadEncodingGivesNoValueAndStopsTheSearch) {
  EXPECT_EQ(queryParameter("s?q=100%&q=ok", "q"), std::nullopt);
  EXPECT_EQ(queryParameter("s?q=%zz", "q"), std::nullopt);
}

TEST(PercentDecode, RejectsMalformedEscapesAndInvalidUtf8) {
  EXPECT_EQ(percentDecode("My%20Notes"), "My Notes");
  EXPECT_EQ(percentDecode("caf%C3%A9"), "caf\xc3\xa9");
  EXPECT_EQ(percentDecode("%"), std::nullopt);
  EXPECT_EQ(percentDecode("%4"), std::nullopt);
  EXPECT_EQ(percentDecode("a%g1"), std::nullopt);
  EXPECT_EQ(percentDecode("%FF"), std::nullopt);
}

}  // namespace
}  // namespace corvanta
