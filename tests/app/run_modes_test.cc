#include "app/run_modes.h"

#include <gtest/gtest.h>

#include "app/legacy_migration.h"
#include "support/temp_dir.h"

namespace corvanta {
namespace {

TEST(RunModesTest, FlagsMatchExactlyAnywhereAndMcpWins) {
  EXPECT_EQ(chooseRunMode({}), RunMode::application);
  EXPECT_EQ(chooseRunMode({"x", "--mcp"}), RunMode::mcpServer);
  EXPECT_EQ(chooseRunMode({"--claude-code-hook", "--mcp"}), RunMode::mcpServer);
  EXPECT_EQ(chooseRunMode({"--claude-code-hook"}), RunMode::claudeCodeHook);
  EXPECT_EQ(chooseRunMode({"--MCP"}), RunMode::application);
  EXPECT_EQ(chooseRunMode({"--mcp=1"}), RunMode::application);
}

TEST(LegacyMigrationTest, CopiesMissingKeysOnceAndKeepsExistingValues) {
  test::TempDir dir;
  SettingsStore legacy(dir / "old.json");
  legacy.set("vaultRootPath", "/old/vault");
  legacy.set("posthogDistinctId", "OLD-ID");
  legacy.set("posthogInstalledFired", true);
  legacy.set("unrelated", 1);
  SettingsStore current(dir / "new.json");
  current.set("posthogDistinctId", "NEW-ID");

  migrateLegacyDefaults(current, legacy);
  EXPECT_EQ(current.string("vaultRootPath"), "/old/vault");
  EXPECT_EQ(current.string("posthogDistinctId"), "NEW-ID");
  EXPECT_EQ(current.boolean("posthogInstalledFired"), true);
  EXPECT_FALSE(current.value("unrelated"));
  EXPECT_EQ(current.boolean("didMigrateFromKestBundleId"), true);

  // The marker stays: removed keys are not copied again.
  current.remove("vaultRootPath");
  migrateLegacyDefaults(current, legacy);
  EXPECT_FALSE(current.value("vaultRootPath"));
}

TEST(LegacyMigrationTest, MissingLegacyStoreStillSetsTheMarker) {
  test::TempDir dir;
  SettingsStore current(dir / "new.json");
  migrateLegacyDefaults(current, SettingsStore(dir / "absent.json"));
  EXPECT_EQ(current.boolean("didMigrateFromKestBundleId"), true);
}

}  // namespace
}  // namespace corvanta
