#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace corvanta {
namespace {

TEST(SettingsStoreTest, MissingOrCorruptFileReadsAsEmpty) {
  test::TempDir dir;
  SettingsStore missing(dir / "none/settings.json");
  EXPECT_TRUE(missing.readAll().empty());
  EXPECT_FALSE(missing.string("vaultRootPath"));

  test::writeText(dir / "bad.json", "{not json");
  SettingsStore corrupt(dir / "bad.json");
  EXPECT_TRUE(corrupt.readAll().empty());
  test::writeText(dir / "array.json", "[1,2]");
  EXPECT_TRUE(SettingsStore(dir / "array.json").readAll().empty());
}

TEST(SettingsStoreTest, TypedReadsOnlyAcceptTheirType) {
  test::TempDir dir;
  SettingsStore store(dir / "settings.json");
  ASSERT_TRUE(store.set("vaultRootPath", 42));
  ASSERT_TRUE(store.set("flag", "true"));
  EXPECT_FALSE(store.string("vaultRootPath"));
  EXPECT_FALSE(store.boolean("flag"));
  ASSERT_TRUE(store.set("vaultRootPath", "/tmp/v"));
  EXPECT_EQ(store.string("vaultRootPath"), "/tmp/v");
  ASSERT_TRUE(store.remove("vaultRootPath"));
  EXPECT_FALSE(store.value("vaultRootPath"));
}

// Many processes writing different keys at once must not lose any of them.
TEST(SettingsStoreTest, ConcurrentWritersFromSeveralProcessesKeepEveryKey) {
  test::TempDir dir;
  const std::string path = dir / "settings.json";
  constexpr int kProcesses = 4, kKeys = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      SettingsStore store(path);
      for (int k = 0; k < kKeys; ++k)
        store.set("p" + std::to_string(p) + "k" + std::to_string(k), k);
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  EXPECT_EQ(SettingsStore(path).readAll().size(), size_t{kProcesses * kKeys});
}

}  // namespace
}  // namespace corvanta
