// The vault store's own error. Its what() is the user-facing description that
// tools and HTTP routes pass on verbatim.
#pragma once

#include <stdexcept>
#include <string>

namespace corvanta {

class VaultPathError : public std::runtime_error {
 public:
  enum class Kind { invalidName, pathEscapesVault };

  // Prints as "Invalid name: " + message.
  static VaultPathError invalidName(const std::string& message) {
    return VaultPathError(Kind::invalidName, message, "Invalid name: " + message);
  }
  // Prints as "Path would escape the vault: " + path.
  static VaultPathError pathEscapesVault(const std::string& path) {
    return VaultPathError(Kind::pathEscapesVault, path, "Path would escape the vault: " + path);
  }

  Kind kind() const { return kind_; }
  const std::string& payload() const { return payload_; }

 private:
  VaultPathError(Kind kind, std::string payload, const std::string& description)
      : std::runtime_error(description), kind_(kind), payload_(std::move(payload)) {}

  Kind kind_;
  std::string payload_;
};

}  // namespace corvanta
