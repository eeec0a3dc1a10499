#include "vault/kest_file_manager.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "platform/background_queue.h"
#include "platform/settings_store.h"
#include "search/search_index.h"
#include "support/forked_child.h"
#include "support/index_rows.h"
#include "support/temp_dir.h"
#include "vault/vault_path_error.h"

namespace corvanta {
namespace {

namespace fs = std::filesystem;
using std::chrono_literals::operator""s;

std::string page(const std::string& title, const std::string& url, const std::string& body) {
  return "---\ntitle: " + title + "\nurl: " + url + "\n---\n\n" + body + "\n";
}

FileMeta meta(const std::string& title, const std::string& url = "",
              const std::string& domain = "") {
  FileMeta m;
  m.title = title;
  m.url = url;
  m.domain = domain;
  return m;
}

std::set<std::string> entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// The description of what `action` throws, or "" when it does not throw.
template <typename Action>
std::string errorOf(Action action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "";
}

class StoreTest : public ::testing::Test {
 protected:
  Paths paths() const { return Paths(home.path(), home / ".config", home / ".local/share"); }

  // Opens the index and lets its first empty-check (and rebuild) finish, so that
  // later rows come only from the operations under test.
  SearchIndex& openIndex() {
    SearchIndex& index = store->searchIndex();
    EXPECT_TRUE(queue.waitUntilIdle(60s));
    return index;
  }

  std::vector<std::string> hits(const std::string& query,
                                const std::optional<std::string>& kb = std::nullopt) {
    std::vector<std::string> keys;
    for (const SearchResult& hit : store->searchPages(query, kb)) {
      keys.push_back(hit.kb + "/" + hit.filename);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
  }

  test::TempDir home;
  BackgroundQueue queue{1};
  std::string root = home / "vault";
  std::shared_ptr<KestFileManager> store = std::make_shared<KestFileManager>(root, paths(), queue);
};

// --- Root and paths -----------------------------------------------------------------

TEST_F(StoreTest, RootComesFromArgumentThenSettingThenDefault) {
  SettingsStore settings(home / "settings.json");
  EXPECT_EQ(KestFileManager::create(std::nullopt, settings, paths())->rootPath(),
            home / "Documents/Kest Vault");
  EXPECT_FALSE(fs::exists(home / "Documents"));

  // An empty saved path is no setting at all.
  settings.set("vaultRootPath", "");
  EXPECT_EQ(KestFileManager::create(std::nullopt, settings, paths())->rootPath(),
            home / "Documents/Kest Vault");

  settings.set("vaultRootPath", "~/Elsewhere//");
  auto saved = KestFileManager::create(std::nullopt, settings, paths());
  EXPECT_EQ(saved->rootPath(), "~/Elsewhere//");
  EXPECT_EQ(saved->resolvedRoot(), home / "Elsewhere");

  EXPECT_EQ(KestFileManager::create("/given", settings, paths())->rootPath(), "/given");
}

TEST_F(StoreTest, PathsAreStandardizedAndContained) {
  KestFileManager messy("/tmp//vault/", paths(), queue);
  EXPECT_EQ(messy.resolvedRoot(), "/tmp/vault");
  EXPECT_EQ(messy.resolvedPath("General"), "/tmp/vault/General");
  EXPECT_EQ(messy.resolvedPath("General", "a.md"), "/tmp/vault/General/a.md");

  EXPECT_EQ(errorOf([&] { messy.resolvedPath("../x"); }),
            "Invalid name: Knowledge base name cannot contain '..'");
  EXPECT_EQ(errorOf([&] { messy.resolvedPath("General", "a\\b.md"); }),
            "Invalid name: Filename cannot contain path separators");
  EXPECT_EQ(errorOf([&] { messy.resolvedPath("General", ".hidden"); }),
            "Invalid name: Filename cannot start with '.'");
}

TEST_F(StoreTest, ARootThatClimbsIsStillTheReference) {
  // The containment check compares against the standardized root, so a root
  // written with ".." still contains its own knowledge bases.
  KestFileManager climbing(home / "a/../vault", paths(), queue);
  EXPECT_EQ(climbing.resolvedPath("General"), root + "/General");
}

TEST_F(StoreTest, SymlinkedRootIsUsedThroughItsLink) {
  fs::create_directories(home / "real");
  fs::create_directory_symlink(home / "real", home / "link");
  auto linked = std::make_shared<KestFileManager>(home / "link", paths(), queue);

  // Containment is textual: paths stay under the link, and the link is followed.
  EXPECT_EQ(linked->resolvedPath("General", "a.md"), home / "link/General/a.md");
  EXPECT_EQ(linked->writeFile("General", "a.md", "alpha", meta("A")), "a.md");
  EXPECT_EQ(test::readText(home / "real/General/a.md"), "alpha");
  EXPECT_EQ(linked->readFile("General", "a.md"), "alpha");
  ASSERT_EQ(linked->listKnowledgeBases().size(), 1u);
  linked->searchIndex();
  queue.waitUntilIdle(60s);
  EXPECT_TRUE(fs::exists(home / "real/.kest-search.db"));
}

TEST_F(StoreTest, KnowledgeBaseSymlinkedOutsideTheVaultIsFollowed) {
  // Names cannot climb out, but a link the user placed inside the vault is the
  // user's own choice: it is listed and written through like a folder.
  fs::create_directories(home / "outside");
  fs::create_directories(root);
  fs::create_directory_symlink(home / "outside", root + "/Linked");
  store->writeFile("Linked", "a.md", "x", meta("A"));
  EXPECT_TRUE(fs::exists(home / "outside/a.md"));
  ASSERT_EQ(store->listKnowledgeBases().size(), 1u);
  EXPECT_EQ(store->listKnowledgeBases()[0].fileCount, 1);

  // Deleting the knowledge base removes the link, never what it points to.
  store->deleteKnowledgeBase("Linked");
  EXPECT_FALSE(fs::exists(fs::symlink_status(root + "/Linked")));
  EXPECT_TRUE(fs::exists(home / "outside/a.md"));
}

TEST_F(StoreTest, InvalidNamesTouchNothing) {
  EXPECT_THROW(store->writeFile("../x", "a.md", "x", meta("A")), VaultPathError);
  EXPECT_THROW(store->writeFile("General", "", "x", meta("A")), VaultPathError);
  EXPECT_THROW(store->createKnowledgeBase(".cache"), VaultPathError);
  EXPECT_THROW(store->writeTopic("General", "a/b", "x"), VaultPathError);
  EXPECT_FALSE(fs::exists(root));
}

TEST_F(StoreTest, DefaultKnowledgeBaseIsCreatedQuietly) {
  store->ensureDefaultKnowledgeBase();
  EXPECT_TRUE(fs::is_directory(root + "/General"));
  store->ensureDefaultKnowledgeBase();

  // A root that is a plain file cannot hold it; nothing is thrown.
  test::writeText(home / "file-root", "x");
  KestFileManager blocked(home / "file-root", paths(), queue);
  EXPECT_NO_THROW(blocked.ensureDefaultKnowledgeBase());
}

// --- Knowledge bases ------------------------------------------------------------------

TEST_F(StoreTest, ListingCountsOnlyPagesOfVisibleFolders) {
  test::writeText(root + "/Research/a.md", "a");
  test::writeText(root + "/Research/b.md", "b");
  test::writeText(root + "/Research/_index.md", "i");
  test::writeText(root + "/Research/_topic-x.md", "t");
  test::writeText(root + "/Research/notes.txt", "n");
  fs::create_directories(root + "/Research/sub.md");
  test::writeText(root + "/Systems/_index.md", "i");
  test::writeText(root + "/.claude/skill.md", "s");
  test::writeText(root + "/README.md", "guide");
  test::writeText(root + "/.kest-search.db", "");

  auto kbs = store->listKnowledgeBases();
  ASSERT_EQ(kbs.size(), 2u);
  EXPECT_EQ(kbs[0].name, "Research");
  EXPECT_EQ(kbs[0].fileCount, 2);
  EXPECT_TRUE(kbs[0].lastModified.has_value());
  EXPECT_EQ(kbs[1].name, "Systems");
  EXPECT_EQ(kbs[1].fileCount, 0);
  EXPECT_FALSE(kbs[1].lastModified.has_value());
}

TEST_F(StoreTest, LastModifiedIsTheNewestPage) {
  test::writeText(root + "/Kb/old.md", "a");
  test::writeText(root + "/Kb/new.md", "b");
  test::writeText(root + "/Kb/_index.md", "i");
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, (root + "/Kb/old.md").c_str(), times, 0);
  times[0].tv_sec = times[1].tv_sec = 1700000000;
  ::utimensat(AT_FDCWD, (root + "/Kb/new.md").c_str(), times, 0);
  times[0].tv_sec = times[1].tv_sec = 1800000000;  // a system file never counts
  ::utimensat(AT_FDCWD, (root + "/Kb/_index.md").c_str(), times, 0);

  auto kbs = store->listKnowledgeBases();
  ASSERT_EQ(kbs.size(), 1u);
  EXPECT_EQ(
      std::chrono::duration_cast<std::chrono::seconds>(kbs[0].lastModified->time_since_epoch())
          .count(),
      1700000000);
}

TEST_F(StoreTest, KnowledgeBasesSortIgnoringCase) {
  for (const char* name : {"beta", "Alpha", "gamma", "Beta2", "alpha2"}) {
    fs::create_directories(root + "/" + name);
  }
  std::vector<std::string> names;
  for (const auto& kb : store->listKnowledgeBases()) names.push_back(kb.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "alpha2", "beta", "Beta2", "gamma"}));
}

TEST_F(StoreTest, MissingVaultListsNothing) {
  EXPECT_TRUE(store->listKnowledgeBases().empty());
  EXPECT_TRUE(store->listFiles("General").empty());
  EXPECT_TRUE(store->listFiles("../x").empty());
  EXPECT_TRUE(store->listTopics("General").empty());
  EXPECT_FALSE(store->readFile("General", "a.md").has_value());
  EXPECT_FALSE(store->readIndex("General").has_value());
  EXPECT_FALSE(store->readGuide().has_value());
}

TEST_F(StoreTest, CreateAndDeleteKnowledgeBases) {
  store->createKnowledgeBase("Research");
  EXPECT_NO_THROW(store->createKnowledgeBase("Research"));
  EXPECT_TRUE(fs::is_directory(root + "/Research"));

  test::writeText(root + "/Blocked", "a plain file");
  EXPECT_THROW(store->createKnowledgeBase("Blocked"), fs::filesystem_error);

  store->writeFile("Research", "a.md", page("A", "", "xylophone"), meta("A"));
  store->writeTopic("Research", "t", "topic");
  store->deleteKnowledgeBase("Research");
  EXPECT_FALSE(fs::exists(root + "/Research"));
  EXPECT_TRUE(hits("xylophone").empty());

  EXPECT_THROW(store->deleteKnowledgeBase("Research"), fs::filesystem_error);
}

// --- Writing pages --------------------------------------------------------------------

TEST_F(StoreTest, ConflictingNamesGetTheFirstFreeSuffix) {
  EXPECT_EQ(store->writeFile("General", "note.md", "one", meta("1")), "note.md");
  EXPECT_EQ(store->writeFile("General", "note.md", "two", meta("2")), "note-2.md");
  EXPECT_EQ(store->writeFile("General", "note.md", "three", meta("3")), "note-3.md");
  store->deleteFile("General", "note-2.md");
  EXPECT_EQ(store->writeFile("General", "note.md", "four", meta("4")), "note-2.md");

  EXPECT_EQ(store->readFile("General", "note.md"), "one");
  EXPECT_EQ(store->readFile("General", "note-2.md"), "four");
  EXPECT_EQ(store->readFile("General", "note-3.md"), "three");
  EXPECT_EQ(entries(root + "/General"),
            (std::set<std::string>{"note.md", "note-2.md", "note-3.md"}));
}

TEST_F(StoreTest, SuffixReplacesOnlyTheLastExtension) {
  store->writeFile("General", "v1.2.md", "a", meta("a"));
  EXPECT_EQ(store->writeFile("General", "v1.2.md", "b", meta("b")), "v1.2-2.md");
}

TEST_F(StoreTest, ConflictsRunOutAfterAThousand) {
  fs::create_directories(root + "/General");
  test::writeText(root + "/General/n.md", "");
  for (int i = 2; i <= 1000; ++i)
    test::writeText(root + "/General/n-" + std::to_string(i) + ".md", "");
  EXPECT_EQ(errorOf([&] { store->writeFile("General", "n.md", "x", meta("x")); }),
            "Invalid name: Too many filename conflicts");
  // The written-out temporary file is not left behind.
  EXPECT_EQ(entries(root + "/General").size(), 1000u);
}

TEST_F(StoreTest, WriteChecksNamesAndCreatesFolders) {
  EXPECT_EQ(errorOf([&] { store->writeFile("General", "note.txt", "x", meta("x")); }),
            "Invalid name: Filename must end with .md");
  EXPECT_EQ(errorOf([&] { store->writeFile("General", "a/b.md", "x", meta("x")); }),
            "Invalid name: Filename cannot contain path separators");
  EXPECT_FALSE(fs::exists(root));

  store->writeFile("New KB", "a.md", "x", meta("x"));
  EXPECT_EQ(test::readText(root + "/New KB/a.md"), "x");
}

TEST_F(StoreTest, WriteIntoAFileInsteadOfAFolderFails) {
  test::writeText(root + "/General", "not a folder");
  EXPECT_THROW(store->writeFile("General", "a.md", "x", meta("x")), std::system_error);
}

TEST_F(StoreTest, RacingThreadsEachGetTheirOwnPage) {
  constexpr int kWriters = 12;
  std::vector<std::string> names(kWriters);
  std::vector<std::thread> writers;
  for (int i = 0; i < kWriters; ++i) {
    writers.emplace_back([&, i] {
      names[i] = store->writeFile("General", "race.md", "writer " + std::to_string(i), meta("r"));
    });
  }
  for (auto& writer : writers) writer.join();

  std::set<std::string> distinct(names.begin(), names.end());
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kWriters));
  EXPECT_EQ(entries(root + "/General").size(), static_cast<size_t>(kWriters));
  for (int i = 0; i < kWriters; ++i) {
    EXPECT_EQ(store->readFile("General", names[i]), "writer " + std::to_string(i));
  }
  EXPECT_TRUE(distinct.count("race.md"));
  EXPECT_TRUE(distinct.count("race-" + std::to_string(kWriters) + ".md"));
}

TEST_F(StoreTest, RacingProcessesEachGetTheirOwnPages) {
  constexpr int kProcesses = 4;
  constexpr int kWritesEach = 10;
  fs::create_directories(root + "/General");
  std::vector<int> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(test::forkChild([&, p] {
      BackgroundQueue childQueue(1);
      auto childStore = std::make_shared<KestFileManager>(root, paths(), childQueue);
      for (int i = 0; i < kWritesEach; ++i) {
        childStore->writeFile("General", "race.md",
                              "process " + std::to_string(p) + " write " + std::to_string(i),
                              meta("r"));
      }
      return 0;
    }));
  }
  for (int child : children) EXPECT_EQ(test::waitChild(child), 0);

  std::set<std::string> contents;
  for (const auto& name : entries(root + "/General")) {
    if (name.starts_with(".")) continue;  // the shared search database
    contents.insert(*store->readFile("General", name));
  }
  EXPECT_EQ(contents.size(), static_cast<size_t>(kProcesses * kWritesEach));
  EXPECT_TRUE(fs::exists(root + "/General/race-40.md"));
}

// --- Editing, moving, deleting --------------------------------------------------------

TEST_F(StoreTest, EditRefusesWhatItMustNotTouch) {
  fs::create_directories(root + "/General");
  test::writeText(root + "/General/_index.md", "index");
  EXPECT_EQ(errorOf([&] { store->editFile("General", "a.txt", "x"); }),
            "Invalid name: Filename must end with .md");
  EXPECT_EQ(errorOf([&] { store->editFile("General", "_index.md", "x"); }),
            "Invalid name: Cannot edit system files (filenames starting with '_')");
  EXPECT_EQ(errorOf([&] { store->editFile("General", "a.md", "x"); }),
            "Invalid name: File 'a.md' does not exist in 'General'");
  EXPECT_EQ(test::readText(root + "/General/_index.md"), "index");
  EXPECT_FALSE(fs::exists(root + "/General/a.md"));
}

TEST_F(StoreTest, EditReplacesTheText) {
  store->writeFile("General", "a.md", "old", meta("A"));
  store->editFile("General", "a.md", "new");
  EXPECT_EQ(store->readFile("General", "a.md"), "new");
  EXPECT_EQ(entries(root + "/General").count("a.md"), 1u);
}

TEST_F(StoreTest, MoveKeepsTheNameUnlessTaken) {
  store->writeFile("A", "a.md", "first", meta("1"));
  store->writeFile("B", "a.md", "second", meta("2"));
  store->moveFile("A", "a.md", "B");
  EXPECT_FALSE(fs::exists(root + "/A/a.md"));
  EXPECT_EQ(store->readFile("B", "a.md"), "second");
  EXPECT_EQ(store->readFile("B", "a-2.md"), "first");
}

TEST_F(StoreTest, MoveWithinOneKnowledgeBaseDoesNothing) {
  store->writeFile("A", "a.md", "text", meta("1"));
  EXPECT_NO_THROW(store->moveFile("A", "a.md", "A"));
  EXPECT_EQ(entries(root + "/A"), std::set<std::string>{"a.md"});
}

TEST_F(StoreTest, MoveOfAMissingPageFailsAfterCreatingTheTarget) {
  fs::create_directories(root + "/A");
  EXPECT_THROW(store->moveFile("A", "missing.md", "New"), fs::filesystem_error);
  EXPECT_TRUE(fs::is_directory(root + "/New"));
}

TEST_F(StoreTest, DeleteRemovesAnyFileAndFailsWhenMissing) {
  store->writeTopic("General", "t", "topic");
  store->deleteFile("General", "_topic-t.md");
  EXPECT_FALSE(fs::exists(root + "/General/_topic-t.md"));
  EXPECT_THROW(store->deleteFile("General", "a.md"), fs::filesystem_error);
}

// --- Reading and listing pages --------------------------------------------------------

TEST_F(StoreTest, ReadGivesTextOnlyForReadableUtf8Files) {
  test::writeText(root + "/General/a.md", "text");
  test::writeText(root + "/General/_index.md", "index");
  test::writeText(root + "/General/bad.md", "\xff\xfe");
  fs::create_directories(root + "/General/dir.md");
  EXPECT_EQ(store->readFile("General", "a.md"), "text");
  EXPECT_EQ(store->readFile("General", "_index.md"), "index");
  EXPECT_EQ(store->readIndex("General"), "index");
  EXPECT_FALSE(store->readFile("General", "bad.md").has_value());
  EXPECT_FALSE(store->readFile("General", "dir.md").has_value());
  EXPECT_FALSE(store->readFile("General", "../General/a.md").has_value());
}

TEST_F(StoreTest, ListFilesSkipsSystemAndUnreadableFiles) {
  test::writeText(root + "/General/a.md", page("Alpha", "https://www.example.com/a", "x"));
  test::writeText(root + "/General/_index.md", "index");
  test::writeText(root + "/General/bad.md", "\xff");
  test::writeText(root + "/General/notes.txt", "t");
  auto files = store->listFiles("General");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename, "a.md");
}

TEST_F(StoreTest, ListFilesFilterIgnoresCase) {
  test::writeText(root + "/General/example-notes.md",
                  page("Alpha", "https://www.example.com/a", "x"));
  test::writeText(root + "/General/b.md", page("Beta", "https://other.org/b", "x"));
  EXPECT_EQ(store->listFiles("General", std::string("EXAMPLE")).size(), 1u);
  // The matched text always holds its two separating spaces.
  EXPECT_EQ(store->listFiles("General", std::string(" ")).size(), 2u);
  EXPECT_EQ(store->listFiles("General", std::string("")).size(), 2u);
  EXPECT_TRUE(store->listFiles("General", std::string("nowhere")).empty());
}

TEST_F(StoreTest, ListFilesReadsMetadataAndSortsNewestFirst) {
  test::writeText(root + "/General/old.md",
                  "---\ntitle: Old\nurl: https://www.example.com/o\nsaved_at: "
                  "2024-01-01T00:00:00Z\n---\nbody");
  test::writeText(root + "/General/new.md",
                  "---\nurl: https://e.org/n\nsaved_at: 2025-06-01T12:00:00Z\ntemplate: "
                  "article\n---\nbody");
  test::writeText(root + "/General/mid.md",
                  "# Middle\n\n\U0001F517 Source: [x](https://mid.net/page)\n");
  struct timespec times[2] = {{1717200000, 0}, {1717200000, 0}};  // 2024-06-01
  ::utimensat(AT_FDCWD, (root + "/General/mid.md").c_str(), times, 0);

  auto files = store->listFiles("General");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].filename, "new.md");
  EXPECT_EQ(files[0].title, "New");  // from the file name when the page has none
  EXPECT_EQ(files[0].domain, "e.org");
  EXPECT_EQ(files[0].templateName, "article");
  EXPECT_EQ(files[1].filename, "mid.md");
  EXPECT_EQ(files[1].title, "Middle");
  EXPECT_EQ(files[1].url, "https://mid.net/page");
  EXPECT_EQ(files[2].filename, "old.md");
  EXPECT_EQ(files[2].domain, "example.com");
  EXPECT_EQ(store->listFiles("General", std::string("MID.NET")).size(), 1u);
}

TEST_F(StoreTest, TopicsAreReplacedAndListedBySlug) {
  store->writeTopic("General", "b", "first");
  store->writeTopic("General", "b", "second");
  store->writeTopic("General", "a", "other");
  EXPECT_EQ(store->readFile("General", "_topic-b.md"), "second");
  auto topics = store->listTopics("General");
  ASSERT_EQ(topics.size(), 2u);
  EXPECT_EQ(topics[0].slug, "a");
  EXPECT_EQ(topics[1].filename, "_topic-b.md");
  EXPECT_EQ(errorOf([&] { store->writeTopic("General", "a\tb", "x"); }),
            "Invalid name: Topic filename cannot contain control characters");
  // Topic pages are system files: not listed, not counted.
  EXPECT_TRUE(store->listFiles("General").empty());
  EXPECT_EQ(store->listKnowledgeBases()[0].fileCount, 0);
}

}  // namespace
}  // namespace corvanta
