// A scratch vault with its own store and executor, for the tool tests: pages are
// written as files (front matter with a fixed save date), tools are called by
// name, and the background regenerations can be awaited.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/analytics.h"
#include "mcp/mcp_tool_executor.h"
#include "platform/background_queue.h"
#include "platform/paths.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"
#include "vault/records.h"

namespace corvanta::test {

class ToolsTest : public ::testing::Test {
 protected:
  ToolsTest()
      : store_(std::make_shared<KestFileManager>(
            root(), Paths(home_.path(), home_ / "config", home_ / "data"), background_)),
        executor_(store_, analytics_) {}

  ~ToolsTest() override { settle(); }

  std::string root() const { return home_ / "vault"; }
  std::string pagePath(const std::string& kb, const std::string& filename) const {
    return root() + "/" + kb + "/" + filename;
  }

  // A page with front matter. `savedAt` is ISO 8601 text.
  void writePage(const std::string& kb, const std::string& filename, const std::string& title,
                 const std::string& url, const std::string& body,
                 const std::string& savedAt = "2026-11-20T10:00:00Z") {
    writeText(pagePath(kb, filename), "---\ntitle: " + title + "\nurl: " + url +
                                          "\nsaved_at: " + savedAt + "\n---\n\n" + body + "\n");
  }

  nlohmann::json call(const std::string& name,
                      const nlohmann::json& arguments = nlohmann::json::object()) {
    return executor_.execute(name, arguments);
  }

  // The result's text; fails the test when the result has another shape.
  static std::string text(const nlohmann::json& result) {
    EXPECT_TRUE(result.contains("content") && result["content"].size() == 1);
    return result.at("content").at(0).at("text").get<std::string>();
  }
  static bool isError(const nlohmann::json& result) {
    if (!result.contains("isError")) return false;
    EXPECT_EQ(result["isError"], true) << "isError is present only as true";
    return true;
  }

  // Waits for every scheduled index and guide regeneration.
  void settle() {
    store_->waitForRefreshes(std::chrono::seconds(20));
    background_.waitUntilIdle(std::chrono::seconds(20));
  }

  TempDir home_;
  BackgroundQueue background_{2};
  NoAnalytics analytics_;
  std::shared_ptr<KestFileManager> store_;
  MCPToolExecutor executor_;
};

}  // namespace corvanta::test
