#include "mcp/vault_file_reader.h"

#include <exception>

#include "vault/kest_file_manager.h"
#include "vault/text_file.h"

namespace corvanta {

std::optional<VaultFileText> readVaultFile(const KestFileManager& store, const std::string& kb,
                                           const std::string& filename) {
  std::string path;
  try {
    path = store.resolvedPath(kb, filename);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  std::optional<TextFile> file = readTextFile(path);
  if (!file) return std::nullopt;
  return VaultFileText{std::move(path), std::move(file->text)};
}

}  // namespace corvanta
