#include "vault/vault_names.h"

#include <string>
#include <vector>

#include "vault/vault_path_error.h"

namespace corvanta {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Bytes below 0x80 are whole characters in UTF-8, so a byte test finds exactly the
// C0 controls and DEL; C1 controls (two-byte sequences) are allowed names.
bool hasControlCharacter(std::string_view name) {
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) return true;
  }
  return false;
}

std::string message(std::string_view label, std::string_view rule) {
  std::string text(label);
  text += rule;
  return text;
}

}  // namespace

void validateName(std::string_view name, std::string_view label) {
  if (name.empty()) throw VaultPathError::invalidName(message(label, " cannot be empty"));
  if (name == ".." || startsWith(name, "../") || endsWith(name, "/..") ||
      name.find("/..") != std::string_view::npos) {
    throw VaultPathError::invalidName(message(label, " cannot contain '..'"));
  }
  if (name.find_first_of("/\\") != std::string_view::npos) {
    throw VaultPathError::invalidName(message(label, " cannot contain path separators"));
  }
  if (hasControlCharacter(name)) {
    throw VaultPathError::invalidName(message(label, " cannot contain control characters"));
  }
  if (name.front() == '.')
    throw VaultPathError::invalidName(message(label, " cannot start with '.'"));
}

std::string standardizePath(std::string_view path, std::string_view home) {
  std::string expanded;
  if (path == "~" || startsWith(path, "~/")) {
    expanded = std::string(home) + std::string(path.substr(1));
  } else {
    expanded = std::string(path);
  }
  if (expanded.empty()) return expanded;

  const bool absolute = expanded.front() == '/';
  std::vector<std::string_view> parts;
  std::string_view rest(expanded);
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == ".." && absolute) {
      // Above the root there is nothing to go back to: "/.." is "/".
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    // A relative path cannot be resolved without knowing where it starts, so its
    // ".." components stay as written.
    parts.push_back(part);
  }

  std::string result = absolute ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) result += '/';
    result += parts[i];
  }
  if (result.empty()) result = ".";
  return result;
}

bool isPageFileName(std::string_view name) {
  return endsWith(name, ".md") && !startsWith(name, "_");
}

}  // namespace corvanta
