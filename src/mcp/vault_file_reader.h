// Reading one file of the vault by knowledge base and file name, for the tools
// that need the page text together with its location (topic titles, synthesis
// sources): the path comes from the store's containment-checked resolvedPath.
#pragma once

#include <optional>
#include <string>

namespace corvanta {

class KestFileManager;

struct VaultFileText {
  std::string path;
  std::string text;
};

// Nothing when the names are refused by the store, when the path is not a
// readable regular file, or when its bytes are not valid UTF-8.
std::optional<VaultFileText> readVaultFile(const KestFileManager& store, const std::string& kb,
                                           const std::string& filename);

}  // namespace corvanta
