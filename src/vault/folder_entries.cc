#include "vault/folder_entries.h"

#include <filesystem>

namespace corvanta {

std::optional<std::vector<std::string>> folderEntryNames(const std::string& folder) {
  std::error_code error;
  std::filesystem::directory_iterator entry(folder, error);
  if (error) return std::nullopt;
  std::vector<std::string> names;
  // increment(error) ends the iteration on an error instead of throwing.
  for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    names.push_back(entry->path().filename().string());
  }
  return names;
}

}  // namespace corvanta
