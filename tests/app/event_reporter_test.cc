#include "app/event_reporter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include "build_config.h"
#include "platform/app_version.h"
#include "support/loopback_http_server.h"
#include "support/temp_dir.h"

namespace corvanta {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const std::regex kUuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");

class EventReporterTest : public ::testing::Test {
 protected:
  EventReporterTest() { settings.set("analytics.captureURL", server.url("/capture/")); }

  std::vector<nlohmann::json> bodies(size_t expected) {
    EXPECT_TRUE(server.waitForRequests(expected));
    std::vector<nlohmann::json> result;
    for (const auto& request : server.requests()) {
      result.push_back(nlohmann::json::parse(request.body));
    }
    return result;
  }

  std::multiset<std::string> eventNames(size_t expected) {
    std::multiset<std::string> names;
    for (const auto& body : bodies(expected)) names.insert(body["event"].get<std::string>());
    return names;
  }

  test::TempDir dir;
  SettingsStore settings{dir / "settings.json"};
  test::LoopbackHttpServer server{[](const test::RecordedRequest&) {
    return test::CannedReply{200, "{\"status\":1}"};
  }};
};

TEST_F(EventReporterTest, PostsOneCompactJsonEventWithBaseProperties) {
  EventReporter reporter(settings);
  reporter.capture("vault_kb_created", {{"source", "panel"}, {"file_count", 3}});
  reporter.shutdown();

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/capture/");
  EXPECT_EQ(requests[0].headers["content-type"], "application/json");
  EXPECT_EQ(requests[0].body.find_first_of(" \n"), std::string::npos) << "not compact";

  auto body = nlohmann::json::parse(requests[0].body);
  EXPECT_EQ(body.size(), 4u);
  EXPECT_EQ(body["api_key"], CORVANTA_ANALYTICS_KEY);
  EXPECT_EQ(body["event"], "vault_kb_created");
  EXPECT_TRUE(std::regex_match(body["timestamp"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
  const auto& properties = body["properties"];
  EXPECT_EQ(properties["distinct_id"], reporter.distinctId());
  EXPECT_EQ(properties["app"], "macos");
  EXPECT_EQ(properties["app_version"], appVersion());
  EXPECT_EQ(properties["source"], "panel");
  EXPECT_EQ(properties["file_count"], 3);
}

TEST_F(EventReporterTest, CallerPropertiesReplaceBaseOnes) {
  EventReporter reporter(settings);
  reporter.capture("vault_quit_clicked", {{"app", "linux"}, {"app_version", "9.9"}});
  reporter.capture("vault_quit_clicked", nullptr);  // not an object: base properties only
  reporter.shutdown();
  auto sent = bodies(2);
  ASSERT_EQ(sent.size(), 2u);
  std::multiset<std::string> apps = {sent[0]["properties"]["app"], sent[1]["properties"]["app"]};
  EXPECT_EQ(apps, (std::multiset<std::string>{"linux", "macos"}));
}

TEST_F(EventReporterTest, DistinctIdIsMadeOnceAndKeptForTheInstallation) {
  std::string first;
  {
    EventReporter reporter(settings);
    first = reporter.distinctId();
    EXPECT_TRUE(std::regex_match(first, kUuid)) << first;
    EXPECT_EQ(reporter.distinctId(), first);
  }
  EXPECT_EQ(settings.string("posthogDistinctId"), first);
  EventReporter again(settings);
  EXPECT_EQ(again.distinctId(), first);

  // An id carried over from an earlier installation is used as it is.
  test::TempDir other;
  SettingsStore migrated(other / "settings.json");
  migrated.set("posthogDistinctId", "EARLIER-ID");
  EXPECT_EQ(EventReporter(migrated).distinctId(), "EARLIER-ID");
}

TEST_F(EventReporterTest, ReportersStartingTogetherAgreeOnOneId) {
  // Each reporter stands for a process of its own sharing the settings file.
  std::vector<std::string> ids(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < ids.size(); ++i) {
    threads.emplace_back([&, i] {
      SettingsStore own(settings.path());
      ids[i] = EventReporter(own).distinctId();
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& id : ids) EXPECT_EQ(id, settings.string("posthogDistinctId"));
}

TEST_F(EventReporterTest, RecordLaunchSendsInstalledOnlyOnTheFirstLaunch) {
  {
    EventReporter reporter(settings);
    reporter.recordLaunch();
  }
  EXPECT_EQ(eventNames(2),
            (std::multiset<std::string>{"vault_app_installed", "vault_app_launched"}));
  EXPECT_EQ(settings.boolean("posthogInstalledFired"), true);
  {
    EventReporter reporter(settings);
    reporter.recordLaunch();
  }
  EXPECT_EQ(eventNames(3), (std::multiset<std::string>{"vault_app_installed", "vault_app_launched",
                                                       "vault_app_launched"}));
}

TEST_F(EventReporterTest, UnusableUrlSendsNothingAndCreatesNothing) {
  settings.set("analytics.captureURL", "capture endpoint");
  EventReporter reporter(settings);
  reporter.capture("vault_popover_opened");
  reporter.shutdown();
  EXPECT_TRUE(server.requests().empty());
  EXPECT_FALSE(settings.value("posthogDistinctId"));
}

TEST_F(EventReporterTest, UnserializablePropertiesDropTheEventQuietly) {
  EventReporter reporter(settings);
  reporter.capture("vault_file_save_failed", {{"error", std::string("bad \xff byte")}});
  reporter.capture("vault_file_save_failed", {{"error", "fine"}});
  reporter.shutdown();
  auto sent = server.requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(nlohmann::json::parse(sent[0].body)["properties"]["error"], "fine");
}

TEST(EventReporterHangTest, NeverWaitsLongForAServerThatDoesNotAnswer) {
  test::TempDir dir;
  SettingsStore settings(dir / "settings.json");
  test::LoopbackHttpServer hung(
      [](const test::RecordedRequest&) { return std::optional<test::CannedReply>(); });
  settings.set("analytics.captureURL", hung.url("/capture/"));

  auto start = Clock::now();
  {
    EventReporter reporter(settings);
    reporter.capture("vault_mcp_started");
    reporter.capture("vault_mcp_tool_called", {{"tool", "corvanta_search"}});
    EXPECT_LT(Clock::now() - start, milliseconds(200));
    ASSERT_TRUE(hung.waitForRequests(2));
    start = Clock::now();
  }  // the destructor gives them one second
  EXPECT_GE(Clock::now() - start, milliseconds(900));
  EXPECT_LT(Clock::now() - start, milliseconds(1500));
}

}  // namespace
}  // namespace corvanta
