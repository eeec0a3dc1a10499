#include "integrations/index_file_batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>

#include "platform/background_queue.h"
#include "platform/paths.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

// Every knowledge base's hits as text, keyed by knowledge base; absent scans
// show as "-".
std::map<std::string, std::string> scan(const KestFileManager& store,
                                        const std::vector<std::string>& keywords,
                                        size_t threads) {
  IndexFileBatch batch(store, keywords);
  std::vector<std::thread> helpers;
  for (size_t i = 1; i < threads; ++i) helpers.emplace_back([&batch] { batch.scanSome(); });
  batch.scanSome();
  for (std::thread& helper : helpers) helper.join();
  std::map<std::string, std::string> out;
  for (const IndexFileBatch::Entry& entry : batch.entries()) {
    std::string& text = out[entry.kb];
    if (!entry.scanned) {
      text = "-";
      continue;
    }
    for (const ScannedIndexFile::Hit& hit : entry.scanned->hits) {
      text += keywords[hit.keyword] + ":" +
              entry.scanned->names.substr(hit.nameOffset, hit.nameSize) + " ";
    }
  }
  return out;
}

// However many threads share the files, each knowledge base gets the scan of its
// own file; folders without a readable index file are listed with none.
TEST(IndexFileBatchTest, GivesEveryKnowledgeBaseItsOwnScan) {
  test::TempDir dir;
  const std::string root = dir / "vault";
  for (int kb = 0; kb < 12; ++kb) {
    std::string index = "# KB " + std::to_string(kb) + "\n";
    for (int line = 0; line < 200 * (kb + 1); ++line) {
      index += "- **" + std::string(line % (kb + 2) == 0 ? "Operators" : "Other") + "** — x · [p" +
               std::to_string(kb) + "-" + std::to_string(line) + ".md]\n";
    }
    test::writeText(root + "/KB" + std::to_string(kb) + "/_index.md", index);
  }
  std::filesystem::create_directories(root + "/Empty");
  test::writeText(root + "/Broken/_index.md", "- operators [a.md] \xff\n");
  test::writeText(root + "/.hidden/_index.md", "- operators [h.md]\n");

  BackgroundQueue queue(1);
  const KestFileManager store(root, Paths(dir.path(), dir / "config", dir / "data"), queue);
  const std::vector<std::string> keywords = {"operators", "p3-"};
  const auto alone = scan(store, keywords, 1);
  ASSERT_EQ(alone.size(), 14u);  // hidden folders are not knowledge bases
  EXPECT_EQ(alone.at("Empty"), "-");
  EXPECT_EQ(alone.at("Broken"), "-");
  EXPECT_EQ(alone.at("KB0").substr(0, 32), "operators:p0-0.md operators:p0-2");
  EXPECT_NE(alone.at("KB3").find("p3-:p3-799.md"), std::string::npos);
  for (size_t threads : {2u, 4u}) {
    for (int round = 0; round < 20; ++round) EXPECT_EQ(scan(store, keywords, threads), alone);
  }
}

}  // namespace
}  // namespace corvanta
