// The store and its index together: page changes reach search, the lazy
// rebuild, and the rebuild's behaviour when pages change or processes die.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/background_queue.h"
#include "search/search_index.h"
#include "support/forked_child.h"
#include "support/index_rows.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"
#include "vault/page_metadata.h"
#include "vault/vault_names.h"

namespace corvanta {
namespace {

namespace fs = std::filesystem;
using std::chrono_literals::operator""s;
using Keys = std::vector<std::string>;

FileMeta meta(const std::string& title, const std::string& url = "") {
  FileMeta m;
  m.title = title;
  m.url = url;
  return m;
}

// The pages on disk as "kb/filename", the way the index should hold them.
std::map<std::string, std::string> pagesOnDisk(const std::string& root) {
  std::map<std::string, std::string> pages;
  for (const auto& kb : fs::directory_iterator(root)) {
    if (!kb.is_directory()) continue;
    try {
      validateName(kb.path().filename().string(), "Knowledge base name");
    } catch (const std::exception&) {
      continue;  // hidden, or a name the vault refuses
    }
    for (const auto& file : fs::directory_iterator(kb.path())) {
      std::string name = file.path().filename();
      if (!isPageFileName(name)) continue;
      pages[kb.path().filename().string() + "/" + name] = test::readText(file.path());
    }
  }
  return pages;
}

// Every page on disk has exactly one row, holding its current body, and no row
// stands for a page that is gone.
void expectIndexMatchesDisk(const std::string& root) {
  auto disk = pagesOnDisk(root);
  auto rows = test::readIndexRows(root + "/.kest-search.db");
  std::map<std::string, int> counts = test::rowCountsByKey(rows);
  for (const auto& [key, count] : counts) {
    EXPECT_EQ(count, 1) << key;
    EXPECT_TRUE(disk.count(key)) << "row for a missing page " << key;
  }
  for (const auto& [key, text] : disk) EXPECT_TRUE(counts.count(key)) << "page without row " << key;
  for (const auto& row : rows) {
    auto page = disk.find(row.kb + "/" + row.filename);
    if (page != disk.end()) {
      EXPECT_EQ(row.body, stripFrontmatter(page->second)) << page->first;
    }
  }
}

void writePages(const std::string& root, const std::string& kb, int count,
                const std::string& word) {
  for (int i = 0; i < count; ++i) {
    test::writeText(root + "/" + kb + "/page-" + std::to_string(i) + ".md",
                    "# Page " + std::to_string(i) + "\n\n" + word + " number" + std::to_string(i));
  }
}

class StoreSearchTest : public ::testing::Test {
 protected:
  Paths paths() const { return Paths(home.path(), home / ".config", home / ".local/share"); }

  std::shared_ptr<KestFileManager> newStore(BackgroundQueue& q) {
    return std::make_shared<KestFileManager>(root, paths(), q);
  }

  // Opens the index and waits for its first empty-check and rebuild.
  SearchIndex& openIndex() {
    SearchIndex& index = store->searchIndex();
    EXPECT_TRUE(queue.waitUntilIdle(120s));
    return index;
  }

  Keys hits(const std::string& query, const std::optional<std::string>& kb = std::nullopt) {
    Keys keys;
    for (const SearchResult& hit : store->searchPages(query, kb)) {
      keys.push_back(hit.kb + "/" + hit.filename);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
  }

  test::TempDir home;
  BackgroundQueue queue{1};
  std::string root = home / "vault";
  std::shared_ptr<KestFileManager> store = newStore(queue);
};

TEST_F(StoreSearchTest, ChangesReachSearch) {
  store->writeFile("General", "note.md", "first apple text", meta("One"));
  openIndex();
  EXPECT_EQ(store->writeFile("General", "note.md", "second banana text", meta("Two")), "note-2.md");
  EXPECT_EQ(hits("apple"), Keys{"General/note.md"});
  EXPECT_EQ(hits("banana"), Keys{"General/note-2.md"});

  store->editFile("General", "note.md", "edited cherry text");
  EXPECT_TRUE(hits("apple").empty());
  EXPECT_EQ(hits("cherry"), Keys{"General/note.md"});

  store->moveFile("General", "note-2.md", "Fruit");
  EXPECT_EQ(hits("banana"), Keys{"Fruit/note-2.md"});

  store->deleteFile("General", "note.md");
  EXPECT_TRUE(hits("cherry").empty());
  expectIndexMatchesDisk(root);
}

TEST_F(StoreSearchTest, WriteIndexesTheCallersMetadataAndTheBody) {
  openIndex();
  store->writeFile("General", "a.md", "---\ntitle: In File\n---\n\nbody words",
                   meta("Given", "https://e.com/a"));
  auto results = store->searchPages("body", std::nullopt);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].title, "Given");
  EXPECT_EQ(results[0].url, "https://e.com/a");
  EXPECT_EQ(store->countSavedPages("https://e.com/a"), 1);
  EXPECT_EQ(test::readIndexRows(store->searchIndex().dbPath())[0].body,
            stripFrontmatter("---\ntitle: In File\n---\n\nbody words"));
}

TEST_F(StoreSearchTest, EditIndexesTheMetadataOfTheNewText) {
  store->writeFile("General", "a.md", "plain", meta("Given"));
  openIndex();
  store->editFile("General", "a.md",
                  "---\ntitle: Edited Title\nurl: https://www.example.com/x\n---\n\nnew body");
  auto results = store->searchPages("edited", std::nullopt);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].title, "Edited Title");
  EXPECT_EQ(results[0].domain, "example.com");
  EXPECT_EQ(store->searchPages("body", std::nullopt)[0].matchingLines,
            std::vector<std::string>{"new body"});
}

TEST_F(StoreSearchTest, FrontMatterIsIndexedOnlyWhenClosed) {
  test::writeText(root + "/General/closed.md", "---\ntitle: T\nsecretkey: hidden\n---\n\nvisible");
  test::writeText(root + "/General/open.md", "---\ntitle: T\nunclosedword\n\nrest");
  test::writeText(root + "/General/crlf.md", "---\r\ntitle: T\r\n---\r\ncrlfword");
  test::writeText(root + "/General/header.md",
                  "# Heading\n\n\U0001F517 Source: [x](https://h.io/p)\n\nheaderword");
  openIndex();
  EXPECT_TRUE(hits("secretkey").empty());
  EXPECT_EQ(hits("visible"), Keys{"General/closed.md"});
  EXPECT_EQ(hits("unclosedword"), Keys{"General/open.md"});
  EXPECT_EQ(hits("crlfword"), Keys{"General/crlf.md"});
  // A standard header stays part of the body; its URL fills the row.
  auto results = store->searchPages("headerword", std::nullopt);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].title, "Heading");
  EXPECT_EQ(results[0].domain, "h.io");
  EXPECT_EQ(hits("source heading"), Keys{"General/header.md"});
  expectIndexMatchesDisk(root);
}

TEST_F(StoreSearchTest, RacingEditsLeaveTheRowOfTheFileThatWon) {
  store->writeFile("General", "a.md", "start", meta("A"));
  openIndex();
  std::vector<std::thread> editors;
  for (int t = 0; t < 4; ++t) {
    editors.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        store->editFile("General", "a.md", "editor" + std::to_string(t) + " " + std::to_string(i));
      }
    });
  }
  for (auto& editor : editors) editor.join();
  expectIndexMatchesDisk(root);
}

TEST_F(StoreSearchTest, DeleteKeepsTheRowOfASaveThatTookTheNameBack) {
  store->writeFile("General", "a.md", "old", meta("A"));
  openIndex();
  std::string path = root + "/General/a.md";
  // Simulates a save landing between the delete's unlink and its index update.
  fs::remove(path);
  test::writeText(path, "newer page");
  store->searchIndex().refreshPage("General", "a.md", path);
  EXPECT_EQ(hits("newer"), Keys{"General/a.md"});
  store->deleteFile("General", "a.md");
  EXPECT_TRUE(hits("newer").empty());
}

TEST_F(StoreSearchTest, WordlessQueriesAndEmptyURLsNeverOpenTheIndex) {
  fs::create_directories(root);
  EXPECT_TRUE(store->searchPages("", std::nullopt).empty());
  EXPECT_TRUE(store->searchPages("  !!! ", std::nullopt).empty());
  EXPECT_EQ(store->countSavedPages(""), 0);
  EXPECT_FALSE(fs::exists(root + "/.kest-search.db"));
}

TEST_F(StoreSearchTest, FirstUseRebuildsFromThePageFiles) {
  writePages(root, "Research", 7, "zebra");
  test::writeText(root + "/Research/_index.md", "zebra index");
  test::writeText(root + "/Research/_topic-z.md", "zebra topic");
  test::writeText(root + "/.hidden/a.md", "zebra hidden");
  test::writeText(root + "/bad\\name/a.md", "zebra in a folder the name rules refuse");
  openIndex();
  EXPECT_EQ(hits("zebra").size(), 7u);
  EXPECT_FALSE(store->searchIndex().isEmpty());
  expectIndexMatchesDisk(root);
}

TEST_F(StoreSearchTest, NonEmptyCompletedIndexIsNotRebuilt) {
  writePages(root, "General", 3, "kiwi");
  openIndex();
  // A page added behind the store's back stays unknown: the index is complete.
  test::writeText(root + "/General/extra.md", "kiwi extra");
  BackgroundQueue otherQueue(1);
  auto other = newStore(otherQueue);
  other->searchIndex();
  otherQueue.waitUntilIdle(60s);
  EXPECT_EQ(other->searchPages("kiwi", std::nullopt).size(), 3u);
}

TEST_F(StoreSearchTest, DeletedDatabaseIsRebuiltByTheNextStore) {
  writePages(root, "General", 3, "plum");
  openIndex();
  store.reset();
  queue.waitUntilIdle(60s);
  fs::remove(root + "/.kest-search.db");
  fs::remove(root + "/.kest-search.db-wal");
  fs::remove(root + "/.kest-search.db-shm");
  store = newStore(queue);
  openIndex();
  EXPECT_EQ(hits("plum").size(), 3u);
}

TEST_F(StoreSearchTest, RebuildIsBatchedAndCompleted) {
  writePages(root, "A", 12, "melon");
  writePages(root, "B", 9, "melon");
  SearchIndex index(root);
  std::vector<size_t> progress;
  SearchRebuildOptions options;
  options.batchSize = 5;
  options.afterBatch = [&](size_t written) { progress.push_back(written); };
  index.rebuildAll(*store, options);
  EXPECT_EQ(progress, (std::vector<size_t>{5, 10, 15, 20, 21}));
  EXPECT_FALSE(index.isEmpty());
  expectIndexMatchesDisk(root);

  // Each batch wrote a segment of its own; the finished rebuild leaves one.
  sqlite3* db = nullptr;
  ASSERT_EQ(
      sqlite3_open_v2((root + "/.kest-search.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
      SQLITE_OK);
  sqlite3_stmt* segments = nullptr;
  sqlite3_prepare_v2(db, "SELECT COUNT(DISTINCT segid) FROM pages_fts_idx", -1, &segments, nullptr);
  ASSERT_EQ(sqlite3_step(segments), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(segments, 0), 1);
  sqlite3_finalize(segments);
  sqlite3_close(db);
}

TEST_F(StoreSearchTest, CompletedRebuildOfAnEmptyVaultStillReadsEmpty) {
  fs::create_directories(root + "/General");
  SearchIndex index(root);
  index.rebuildAll(*store);
  EXPECT_TRUE(index.isEmpty());
}

TEST_F(StoreSearchTest, SearchesRunBetweenBatches) {
  writePages(root, "A", 20, "grape");
  SearchIndex index(root);
  index.upsertPage("Z", "z.md", "T", "", "", "grape early");
  std::vector<size_t> seen;
  SearchRebuildOptions options;
  options.batchSize = 4;
  options.afterBatch = [&](size_t) {
    // Same thread, between batches: the index's queue is free.
    seen.push_back(index.search("grape", std::nullopt, 50).size());
  };
  index.rebuildAll(*store, options);
  EXPECT_EQ(seen, (std::vector<size_t>{4, 8, 12, 16, 20, 20}));
}

// A child process that rebuilds with small batches and is killed (as a hook run
// ends mid-rebuild) once `killAfter` pages are written; returns how it ended.
int rebuildInChildKilledAfter(const std::string& root, const Paths& paths, size_t killAfter) {
  int child = test::forkChild([&] {
    BackgroundQueue childQueue(1);
    auto childStore = std::make_shared<KestFileManager>(root, paths, childQueue);
    SearchIndex index(root);
    SearchRebuildOptions options;
    options.batchSize = 10;
    options.afterBatch = [killAfter](size_t written) {
      if (written >= killAfter) ::raise(SIGKILL);
    };
    index.rebuildAll(*childStore, options);
    return 0;
  });
  return test::waitChild(child);
}

TEST_F(StoreSearchTest, KilledRebuildIsResumedByTheNextProcess) {
  writePages(root, "A", 40, "lemon");
  writePages(root, "B", 40, "lemon");
  ASSERT_EQ(rebuildInChildKilledAfter(root, paths(), 30), -SIGKILL);
  ASSERT_EQ(test::readIndexRows(root + "/.kest-search.db").size(), 30u);

  // The partial index reads as empty, and the next rebuild adds only the rest.
  SearchIndex index(root);
  EXPECT_TRUE(index.isEmpty());
  size_t written = 0;
  SearchRebuildOptions options;
  options.afterBatch = [&](size_t pages) { written = pages; };
  index.rebuildAll(*store, options);
  EXPECT_EQ(written, 50u);
  EXPECT_FALSE(index.isEmpty());
  expectIndexMatchesDisk(root);
}

TEST_F(StoreSearchTest, ShortRunsCompleteALargeRebuildTogether) {
  writePages(root, "A", 90, "lime");
  // Each run lives for two batches only, yet none starts over.
  for (size_t run = 1; run <= 3; ++run) {
    ASSERT_EQ(rebuildInChildKilledAfter(root, paths(), 20), -SIGKILL);
    EXPECT_EQ(test::readIndexRows(root + "/.kest-search.db").size(), run * 20);
  }
  openIndex();
  EXPECT_FALSE(store->searchIndex().isEmpty());
  expectIndexMatchesDisk(root);
}

TEST_F(StoreSearchTest, OverlappingRebuildsLeaveOneRowPerPage) {
  writePages(root, "A", 30, "fig");
  SearchIndex first(root);
  SearchIndex second(root);
  SearchRebuildOptions options;
  options.batchSize = 7;
  bool started = false;
  options.afterBatch = [&](size_t) {
    if (started) return;
    started = true;
    // A second process starts its rebuild while the first is half-way.
    second.rebuildAll(*store);
  };
  first.rebuildAll(*store, options);
  EXPECT_FALSE(first.isEmpty());
  expectIndexMatchesDisk(root);
}

// Edits, saves and deletes race a rebuild that runs over and over; whatever the
// interleaving, the index ends as the disk is.
TEST_F(StoreSearchTest, PagesChangedDuringRebuildsEndUpIndexedOnce) {
  writePages(root, "A", 30, "pear");
  openIndex();
  SearchIndex& index = store->searchIndex();
  std::atomic<bool> done{false};
  std::thread rebuilder([&] {
    SearchRebuildOptions options;
    options.batchSize = 3;
    while (!done) index.rebuildAll(*store, options);
  });
  std::mt19937 random(7);
  for (int step = 0; step < 150; ++step) {
    std::string name = "page-" + std::to_string(random() % 40) + ".md";
    std::string text = "pear version" + std::to_string(step);
    switch (random() % 3) {
      case 0:
        if (store->readFile("A", name)) store->editFile("A", name, text);
        break;
      case 1:
        if (store->readFile("A", name)) store->deleteFile("A", name);
        break;
      default:
        store->writeFile("A", name, text, meta("T"));
        break;
    }
  }
  done = true;
  rebuilder.join();
  expectIndexMatchesDisk(root);
}

TEST_F(StoreSearchTest, TwoProcessesWritingAtOnceLoseNothing) {
  writePages(root, "Shared", 20, "olive");
  constexpr int kProcesses = 2;
  constexpr int kPagesEach = 25;
  std::vector<int> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(test::forkChild([&, p] {
      BackgroundQueue childQueue(1);
      auto childStore = newStore(childQueue);
      for (int i = 0; i < kPagesEach; ++i) {
        childStore->writeFile("Shared", "same.md", "olive shared " + std::to_string(p), meta("S"));
        childStore->writeFile("P" + std::to_string(p), "own-" + std::to_string(i) + ".md",
                              "olive own", meta("O"));
        if (i % 5 == 0 && i < 20)
          childStore->editFile("Shared", "page-" + std::to_string(i) + ".md", "olive edited");
      }
      // Let this process's rebuild (if it started one) finish before exiting.
      childQueue.waitUntilIdle(std::chrono::seconds(120));
      return 0;
    }));
  }
  for (int child : children) EXPECT_EQ(test::waitChild(child), 0);

  auto disk = pagesOnDisk(root);
  EXPECT_EQ(disk.size(), static_cast<size_t>(20 + kProcesses * kPagesEach * 2));
  expectIndexMatchesDisk(root);
  openIndex();
  EXPECT_EQ(store->searchIndex().search("olive", std::nullopt, 1000).size(), disk.size());
}

}  // namespace
}  // namespace corvanta
