#include "app/legacy_migration.h"

namespace corvanta {
namespace {

constexpr const char* kMarker = "didMigrateFromKestBundleId";

}  // namespace

const std::vector<std::string>& migratedSettingKeys() {
  static const std::vector<std::string> keys = {"vaultRootPath",
                                                "chatgpt.bearerToken",
                                                "chatgpt.userId",
                                                "chatgpt.appSecret",
                                                "chatgpt.connectorEnabled",
                                                "hasSeenWelcomeScreen",
                                                "posthogDistinctId",
                                                "posthogInstalledFired",
                                                "updateCheck.lastAt",
                                                "updateCheck.dismissedVersion"};
  return keys;
}

void migrateLegacyDefaults(SettingsStore& current, const SettingsStore& legacy) {
  // Cheap check first: every start runs this, and almost every start finds the
  // marker already set.
  if (current.boolean(kMarker).value_or(false)) return;
  const nlohmann::json old = legacy.readAll();
  current.update([&](nlohmann::json& all) {
    if (all.value(kMarker, nlohmann::json()).is_boolean() && all[kMarker].get<bool>()) {
      return false;  // another process finished the migration meanwhile
    }
    for (const std::string& key : migratedSettingKeys()) {
      if (!all.contains(key) && old.contains(key)) all[key] = old[key];
    }
    all[kMarker] = true;
    return true;
  });
}

}  // namespace corvanta
