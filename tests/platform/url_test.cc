#include "platform/url.h"

#include <gtest/gtest.h>

namespace corvanta {
namespace {

TEST(UrlTest, SplitsAbsoluteUrlsAndFillsDefaults) {
  auto url = parseUrl("HTTPS://Example.COM/capture/?a=1#frag");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->scheme, "https");
  EXPECT_EQ(url->host, "example.com");
  EXPECT_EQ(url->port, 443);
  EXPECT_EQ(url->target, "/capture/?a=1");
  EXPECT_TRUE(url->secure());
  EXPECT_EQ(url->authority(), "example.com");

  url = parseUrl("http://127.0.0.1:7421");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->port, 7421);
  EXPECT_EQ(url->target, "/");
  EXPECT_FALSE(url->secure());
  EXPECT_EQ(url->authority(), "127.0.0.1:7421");

  url = parseUrl("ws://host?x=1");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->port, 80);
  EXPECT_EQ(url->target, "/?x=1");

  url = parseUrl("wss://[::1]:8443/connect");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->host, "::1");
  EXPECT_EQ(url->port, 8443);
  EXPECT_EQ(url->authority(), "[::1]:8443");
}

TEST(UrlTest, RefusesWhatCouldNotBeSentSafely) {
  for (const char* text :
       {"", "/relative", "example.com/path", "ftp://example.com/", "http://", "http:///path",
        "http://user@example.com/", "http://example.com:/", "http://example.com:0/",
        "http://example.com:65536/", "http://example.com:12ab/", "http://exa mple.com/",
        "http://example.com/a b", "http://example.com/\r\nX-Injected: 1", "http://[::1/",
        "http://[::1]x/", "http://ex\xc3\xa4mple.com/"}) {
    EXPECT_FALSE(parseUrl(text)) << text;
  }
}

}  // namespace
}  // namespace corvanta
