#include "vault/vault_names.h"

#include <stdexcept>

namespace corvanta {

// Placeholder until the vault store lands.
void validateName(std::string_view, std::string_view) {}
std::string standardizePath(std::string_view path, std::string_view) { return std::string(path); }
bool isPageFileName(std::string_view name) {
  return name.size() >= 3 && name.substr(name.size() - 3) == ".md" && name.front() != '_';
}

}  // namespace corvanta
