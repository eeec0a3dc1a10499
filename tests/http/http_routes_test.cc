// Every route against a real vault store in a scratch folder.
#include "http/http_routes.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "mcp/recording_analytics.h"
#include "platform/app_version.h"
#include "platform/background_queue.h"
#include "platform/json_text.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

using test::readText;
using test::TempDir;
using test::writeText;

nlohmann::json pageRequest(const std::string& filename, const std::string& content) {
  return {{"filename", filename},
          {"content", content},
          {"meta",
           {{"title", "Title of " + filename},
            {"url", "https://example.com/" + filename},
            {"domain", "example.com"},
            {"template", "article"},
            {"saved_at", "2026-01-05T10:00:00Z"}}}};
}

class HttpRoutesTest : public ::testing::Test {
 protected:
  HttpRoutesTest()
      : queue_(2),
        store_(std::make_shared<KestFileManager>(
            dir_ / "vault", Paths(dir_.path(), dir_ / "config", dir_ / "data"), queue_)),
        routes_(store_, analytics_,
                [this](const std::string& folder) { opened_.push_back(folder); }) {
    std::filesystem::create_directories(dir_ / "vault/General");
    // The index's first use schedules a rebuild from the files; let it finish so
    // it cannot race with the saves the tests make.
    store_->searchIndex();
    queue_.waitUntilIdle(std::chrono::seconds(10));
  }
  ~HttpRoutesTest() override { store_->waitForRefreshes(std::chrono::seconds(10)); }

  RouteResponse get(const std::string& path) { return routes_.route("GET", path, std::nullopt); }
  RouteResponse send(const std::string& method, const std::string& path,
                     const nlohmann::json& body) {
    return routes_.route(method, path, body.dump());
  }
  std::vector<std::string> eventNames() {
    std::vector<std::string> names;
    for (const auto& [name, properties] : analytics_.events()) names.push_back(name);
    return names;
  }
  void expectError(const RouteResponse& response, int status, const std::string& message) {
    EXPECT_EQ(response.status, status);
    EXPECT_EQ(response.body, (nlohmann::json{{"error", message}}));
  }

  TempDir dir_;
  BackgroundQueue queue_;
  std::shared_ptr<KestFileManager> store_;
  test::RecordingAnalytics analytics_;
  std::vector<std::string> opened_;
  HttpRoutes routes_;
};

TEST_F(HttpRoutesTest, PingReportsVersion) {
  RouteResponse response = get("ping");
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, (nlohmann::json{{"ok", true}, {"version", appVersion()}}));
}

TEST_F(HttpRoutesTest, UnknownPathsMethodsAndQueriesAreNotFound) {
  for (const char* path : {"/", "pings", "ping/x", "kbs/General/files/a.md/x", "ping?x=1",
                           "kbs?x=1", "open-finder?x", "?q=x", "search/x?q=y"}) {
    expectError(get(path), 404, "Not found");
  }
  expectError(routes_.route("get", "ping", std::nullopt), 404, "Not found");
  expectError(routes_.route("POST", "ping", std::nullopt), 404, "Not found");
  expectError(routes_.route("POST", "kbs/General/files?x=1", pageRequest("a.md", "x").dump()), 404,
              "Not found");
  expectError(routes_.route("DELETE", "kbs/General?x=1", std::nullopt), 404, "Not found");
  expectError(get("kbs/General/files/a.md?x=1"), 404, "Not found");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "vault/General"));
}

TEST_F(HttpRoutesTest, RepeatedAndTrailingSlashesDoNotCount) {
  EXPECT_EQ(get("/ping/").status, 200);
  EXPECT_EQ(get("kbs//General///files/").status, 200);
}

TEST_F(HttpRoutesTest, OpenFinderOpensTheVaultRootAndRecordsIt) {
  RouteResponse response = routes_.route("POST", "open-finder", std::nullopt);
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, (nlohmann::json{{"ok", true}}));
  EXPECT_EQ(opened_, std::vector<std::string>{store_->rootPath()});
  ASSERT_EQ(analytics_.events().size(), 1u);
  EXPECT_EQ(analytics_.events()[0].first, "vault_finder_opened");
  EXPECT_EQ(analytics_.events()[0].second, (nlohmann::json{{"source", "extension"}}));
}

TEST_F(HttpRoutesTest, ToolCallNeedsAnObjectWithATextName) {
  const std::string message = "Invalid request: need 'name' and 'arguments'";
  expectError(routes_.route("POST", "mcp-tool", std::nullopt), 400, message);
  for (const char* body : {"not json", "[1]", "{}", "{\"name\": 5}", "\"corvanta_search\""}) {
    expectError(routes_.route("POST", "mcp-tool", std::string(body)), 400, message);
  }
  EXPECT_TRUE(analytics_.events().empty());
}

TEST_F(HttpRoutesTest, ToolCallRunsTheToolWithEmptyArgumentsWhenAbsent) {
  RouteResponse listed = send("POST", "mcp-tool", {{"name", "corvanta_list_knowledge_bases"}});
  EXPECT_EQ(listed.status, 200);
  EXPECT_FALSE(listed.body.contains("isError"));
  EXPECT_NE(listed.body["content"][0]["text"].get<std::string>().find("General"),
            std::string::npos);
  // A failing tool is still a 200: the failure is inside the result.
  RouteResponse unknown =
      send("POST", "mcp-tool", {{"name", "no_such_tool"}, {"arguments", "ignored"}});
  EXPECT_EQ(unknown.status, 200);
  EXPECT_EQ(unknown.body["isError"], true);
}

TEST_F(HttpRoutesTest, KnowledgeBasesAreCreatedListedAndDeleted) {
  RouteResponse created = send("POST", "kbs", {{"name", "My Notes"}});
  EXPECT_EQ(created.status, 201);
  EXPECT_EQ(created.body, (nlohmann::json{{"ok", true}}));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "vault/My Notes"));

  RouteResponse listed = get("kbs");
  EXPECT_EQ(listed.status, 200);
  ASSERT_TRUE(listed.body.is_array());
  std::vector<std::string> names;
  for (const auto& kb : listed.body) names.push_back(kb["name"]);
  EXPECT_EQ(names.size(), 2u);

  EXPECT_EQ(routes_.route("DELETE", "kbs/My%20Notes", std::nullopt).status, 200);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "vault/My Notes"));
  EXPECT_EQ(eventNames(), (std::vector<std::string>{"vault_kb_created", "vault_kb_deleted"}));
}

TEST_F(HttpRoutesTest, KnowledgeBaseCreationFailures) {
  expectError(routes_.route("POST", "kbs", std::nullopt), 400, "Invalid request body");
  expectError(routes_.route("POST", "kbs", std::string("{\"title\": \"x\"}")), 400,
              "Invalid request body");
  RouteResponse rejected = send("POST", "kbs", {{"name", "../escape"}});
  EXPECT_EQ(rejected.status, 500);
  EXPECT_TRUE(rejected.body["error"].get<std::string>().starts_with("Invalid name: "));
  EXPECT_TRUE(analytics_.events().empty());
}

TEST_F(HttpRoutesTest, SavingAPageWritesItAndSchedulesRefreshes) {
  const std::string content = "# Caf\xc3\xa9\n\nreact hooks explained\n";
  RouteResponse saved = send("POST", "kbs/General/files", pageRequest("hooks.md", content));
  EXPECT_EQ(saved.status, 201);
  EXPECT_EQ(saved.body, (nlohmann::json{{"ok", true}, {"kb", "General"}}));
  EXPECT_EQ(readText(dir_ / "vault/General/hooks.md"), content);

  ASSERT_EQ(analytics_.events().size(), 1u);
  EXPECT_EQ(analytics_.events()[0].first, "vault_file_saved");
  EXPECT_EQ(analytics_.events()[0].second,
            (nlohmann::json{{"size_bytes", content.size()}, {"has_meta", true}}));

  // The index file and the guide follow in the background.
  ASSERT_TRUE(store_->waitForRefreshes(std::chrono::seconds(10)));
  EXPECT_NE(readText(dir_ / "vault/General/_index.md").find("hooks.md"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "vault/README.md"));
}

TEST_F(HttpRoutesTest, SavingTheSameNameTwiceKeepsBoth) {
  EXPECT_EQ(send("POST", "kbs/General/files", pageRequest("a.md", "one")).status, 201);
  EXPECT_EQ(send("POST", "kbs/General/files", pageRequest("a.md", "two")).status, 201);
  EXPECT_EQ(readText(dir_ / "vault/General/a.md"), "one");
  EXPECT_EQ(readText(dir_ / "vault/General/a-2.md"), "two");
}

TEST_F(HttpRoutesTest, SavingFailures) {
  nlohmann::json withoutMeta = pageRequest("a.md", "x");
  withoutMeta.erase("meta");
  expectError(send("POST", "kbs/General/files", withoutMeta), 400, "Invalid request body");
  expectError(routes_.route("POST", "kbs/General/files", std::nullopt), 400,
              "Invalid request body");
  EXPECT_TRUE(analytics_.events().empty());

  RouteResponse rejected = send("POST", "kbs/General/files", pageRequest("notes.txt", "x"));
  EXPECT_EQ(rejected.status, 500);
  const std::string message = rejected.body["error"];
  EXPECT_EQ(message, "Invalid name: Filename must end with .md");
  ASSERT_EQ(analytics_.events().size(), 1u);
  EXPECT_EQ(analytics_.events()[0].first, "vault_file_save_failed");
  EXPECT_EQ(analytics_.events()[0].second, (nlohmann::json{{"error", message}}));
}

TEST_F(HttpRoutesTest, FilesAreListedFilteredAndRead) {
  send("POST", "kbs/General/files", pageRequest("react.md", "# React\n\nreact hooks\n"));
  send("POST", "kbs/General/files", pageRequest("vue.md", "# Vue\n\nvue things\n"));
  RouteResponse all = get("kbs/General/files");
  EXPECT_EQ(all.status, 200);
  EXPECT_EQ(all.body.size(), 2u);
  RouteResponse filtered = get("kbs/General/files?q=react");
  ASSERT_EQ(filtered.body.size(), 1u);
  EXPECT_EQ(filtered.body[0]["filename"], "react.md");

  RouteResponse read = get("kbs/General/files/react.md");
  EXPECT_EQ(read.status, 200);
  EXPECT_EQ(read.body, (nlohmann::json{{"content", "# React\n\nreact hooks\n"}}));
}

TEST_F(HttpRoutesTest, PercentEncodedNamesAreDecoded) {
  send("POST", "kbs", {{"name", "My Notes"}});
  send("POST", "kbs/My%20Notes/files", pageRequest("a b.md", "text"));
  EXPECT_EQ(readText(dir_ / "vault/My Notes/a b.md"), "text");
  EXPECT_EQ(get("kbs/My%20Notes/files").body.size(), 1u);
  EXPECT_EQ(get("kbs/My%20Notes/files/a%20b.md").body["content"], "text");
  // Not valid encoding: used as it arrived (and so not found here).
  expectError(get("kbs/My%20Notes/files/100%.md"), 404, "File not found");
}

TEST_F(HttpRoutesTest, ReadingMissingOrInvalidPagesIsNotFound) {
  writeText(dir_ / "vault/General/_index.md", "index");
  EXPECT_EQ(get("kbs/General/files/_index.md").body["content"], "index");
  expectError(get("kbs/General/files/missing.md"), 404, "File not found");
  expectError(get("kbs/General/files/..%2F..%2Fsecret.md"), 404, "File not found");
  writeText(dir_ / "vault/General/binary.md", "\xff\xfe");
  expectError(get("kbs/General/files/binary.md"), 404, "File not found");
}

TEST_F(HttpRoutesTest, EditingAPage) {
  send("POST", "kbs/General/files", pageRequest("a.md", "old"));
  RouteResponse edited = send("PUT", "kbs/General/files/a.md", {{"content", "new"}});
  EXPECT_EQ(edited.status, 200);
  EXPECT_EQ(edited.body, (nlohmann::json{{"ok", true}, {"filename", "a.md"}}));
  EXPECT_EQ(readText(dir_ / "vault/General/a.md"), "new");
  EXPECT_EQ(eventNames().back(), "vault_file_edited");
  EXPECT_TRUE(store_->waitForRefreshes(std::chrono::seconds(10)));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "vault/General/_index.md"));

  expectError(routes_.route("PUT", "kbs/General/files/a.md", std::nullopt), 400,
              "Invalid request body");
  writeText(dir_ / "vault/General/_index.md", "index");
  RouteResponse system = send("PUT", "kbs/General/files/_index.md", {{"content", "x"}});
  expectError(system, 500, "Invalid name: Cannot edit system files (filenames starting with '_')");
  EXPECT_EQ(eventNames().size(), 2u);  // no event for failures
}

TEST_F(HttpRoutesTest, DeletingAPage) {
  send("POST", "kbs/General/files", pageRequest("a.md", "x"));
  RouteResponse deleted = routes_.route("DELETE", "kbs/General/files/a.md", std::nullopt);
  EXPECT_EQ(deleted.status, 200);
  EXPECT_EQ(deleted.body, (nlohmann::json{{"ok", true}}));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "vault/General/a.md"));
  EXPECT_EQ(eventNames().back(), "vault_file_deleted");
  // The index file no longer lists the page once its refresh has run.
  EXPECT_TRUE(store_->waitForRefreshes(std::chrono::seconds(10)));
  EXPECT_EQ(readText(dir_ / "vault/General/_index.md").find("a.md"), std::string::npos);

  RouteResponse missing = routes_.route("DELETE", "kbs/General/files/a.md", std::nullopt);
  EXPECT_EQ(missing.status, 500);
  EXPECT_FALSE(missing.body["error"].get<std::string>().empty());
}

TEST_F(HttpRoutesTest, SearchNeedsQAndMatchesByPrefix) {
  expectError(get("search"), 400, "Missing query parameter 'q'");
  expectError(get("search?q="), 400, "Missing query parameter 'q'");
  send("POST", "kbs/General/files", pageRequest("react.md", "# React\n\nreact hooks\n"));
  RouteResponse found = get("search?q=hooks");
  EXPECT_EQ(found.status, 200);
  ASSERT_EQ(found.body.size(), 1u);
  EXPECT_EQ(found.body[0]["filename"], "react.md");
  EXPECT_EQ(get("searchable?q=hooks").body.size(), 1u);
  EXPECT_EQ(get("search?q=hooks&kb=Other").body.size(), 0u);
  EXPECT_EQ(get("search?q=hooks&kb=General").body.size(), 1u);
}

TEST_F(HttpRoutesTest, DuplicateCheckCountsPagesByExactUrl) {
  expectError(get("saved-by-url"), 400, "Missing query parameter 'url'");
  send("POST", "kbs/General/files", pageRequest("a.md", "x"));
  RouteResponse saved = get("saved-by-url?url=https%3A%2F%2Fexample.com%2Fa.md");
  EXPECT_EQ(saved.status, 200);
  EXPECT_EQ(saved.body, (nlohmann::json{{"saved", true}, {"count", 1}}));
  // An unencoded URL in the query does not break the path apart.
  EXPECT_EQ(get("saved-by-url?url=https://example.com/a.md").body["count"], 1);
  EXPECT_EQ(get("saved-by-url?url=https://example.com/b.md").body,
            (nlohmann::json{{"saved", false}, {"count", 0}}));
  EXPECT_EQ(get("kbs/General/files?q=a/b").status, 200);
}

}  // namespace
}  // namespace corvanta
