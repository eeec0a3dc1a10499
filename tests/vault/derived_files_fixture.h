// A scratch vault with its own home folders and background queue, for the tests
// of the index file, the knowledge graph, the guide and their scheduling.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/background_queue.h"
#include "platform/paths.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"

namespace corvanta::test {

struct PageSpec {
  std::string title;
  std::string domain;   // front-matter domain; empty leaves it out
  std::string savedAt;  // front-matter saved_at; empty leaves it out
  std::string body;
};

// A page in front-matter form.
inline std::string pageText(const PageSpec& page) {
  std::string text = "---\n";
  if (!page.title.empty()) text += "title: " + page.title + "\n";
  if (!page.domain.empty()) text += "url: https://" + page.domain + "/article\n";
  if (!page.domain.empty()) text += "domain: " + page.domain + "\n";
  if (!page.savedAt.empty()) text += "saved_at: " + page.savedAt + "\n";
  text += "---\n\n" + page.body + "\n";
  return text;
}

class DerivedFilesTest : public ::testing::Test {
 protected:
  DerivedFilesTest()
      : root_(dir_ / "vault"),
        paths_(dir_ / "home", dir_ / "config", dir_ / "data"),
        queue_(2),
        store_(std::make_shared<KestFileManager>(root_, paths_, queue_)) {}

  ~DerivedFilesTest() override { queue_.waitUntilIdle(std::chrono::seconds(30)); }

  std::string path(const std::string& kb, const std::string& name) const {
    return root_ + "/" + kb + "/" + name;
  }
  void addPage(const std::string& kb, const std::string& name, const PageSpec& page) {
    writeText(path(kb, name), pageText(page));
  }
  std::string indexOf(const std::string& kb) const { return readText(path(kb, "_index.md")); }

  TempDir dir_;
  std::string root_;
  Paths paths_;
  BackgroundQueue queue_;
  std::shared_ptr<KestFileManager> store_;
};

}  // namespace corvanta::test
