// Settings written under the product's earlier identity are copied once into the
// current settings store.
#pragma once

#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace corvanta {

// The keys carried over, in the order they are copied.
const std::vector<std::string>& migratedSettingKeys();

// Unless `didMigrateFromKestBundleId` is already true in `current`: copies each
// migrated key that `current` lacks from `legacy`, then sets the marker (also when
// `legacy` is missing or unreadable, so the migration is attempted once only).
void migrateLegacyDefaults(SettingsStore& current, const SettingsStore& legacy);

}  // namespace corvanta
