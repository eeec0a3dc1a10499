#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "support/temp_dir.h"

namespace corvanta {
namespace {

size_t entryCount(const std::string& folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

TEST(AtomicFileTest, ReplaceLeavesNoTemporaryFiles) {
  test::TempDir dir;
  writeFileAtomically(dir / "a.md", "one");
  writeFileAtomically(dir / "a.md", "two");
  EXPECT_EQ(test::readText(dir / "a.md"), "two");
  EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(AtomicFileTest, WriteIntoMissingFolderThrowsAndCreatesNothing) {
  test::TempDir dir;
  EXPECT_THROW(writeFileAtomically(dir / "missing/a.md", "x"), std::system_error);
  EXPECT_EQ(entryCount(dir.path()), 0u);
}

TEST(AtomicFileTest, ExclusiveCreateNeverReplaces) {
  test::TempDir dir;
  EXPECT_TRUE(createFileExclusively(dir / "a.md", "first"));
  EXPECT_FALSE(createFileExclusively(dir / "a.md", "second"));
  EXPECT_EQ(test::readText(dir / "a.md"), "first");
  EXPECT_EQ(entryCount(dir.path()), 1u);
}

// Racing creators of one name: exactly one wins, the file is whole.
TEST(AtomicFileTest, RacingExclusiveCreatesHaveOneWinner) {
  test::TempDir dir;
  std::atomic<int> winners{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      if (createFileExclusively(dir / "race.md", std::string(10000, static_cast<char>('a' + i)))) {
        ++winners;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(winners, 1);
  std::string content = test::readText(dir / "race.md");
  ASSERT_EQ(content.size(), 10000u);
  EXPECT_EQ(content, std::string(10000, content[0]));
  EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(AtomicFileTest, MoveWithoutReplacingKeepsTheExistingFile) {
  test::TempDir dir;
  test::writeText(dir / "a/x.md", "moving");
  test::writeText(dir / "b/x.md", "staying");
  EXPECT_FALSE(moveWithoutReplacing(dir / "a/x.md", dir / "b/x.md"));
  EXPECT_EQ(test::readText(dir / "b/x.md"), "staying");
  EXPECT_TRUE(moveWithoutReplacing(dir / "a/x.md", dir / "b/y.md"));
  EXPECT_EQ(test::readText(dir / "b/y.md"), "moving");
  EXPECT_FALSE(std::filesystem::exists(dir / "a/x.md"));
}

}  // namespace
}  // namespace corvanta
