// Where the product keeps its files on this machine. Every location derives from
// HOME and the XDG base-directory variables, read once when the object is built,
// so tests can point a whole process at a scratch home.
#pragma once

#include <string>

namespace corvanta {

class Paths {
 public:
  // Reads HOME, XDG_CONFIG_HOME and XDG_DATA_HOME from the environment. Empty or
  // relative XDG values are ignored, as the XDG base-directory rules require.
  static Paths fromEnvironment();
  Paths(std::string home, std::string configHome, std::string dataHome);

  const std::string& home() const { return home_; }
  const std::string& configHome() const { return configHome_; }
  const std::string& dataHome() const { return dataHome_; }

  std::string defaultVaultRoot() const;     // $HOME/Documents/Kest Vault
  std::string settingsFile() const;         // <config>/corvanta-vault/settings.json
  std::string legacySettingsFile() const;   // <config>/kest-vault/settings.json
  std::string applicationSupport() const;   // <data>
  std::string autostartFile() const;        // <config>/autostart/corvanta-vault.desktop
  std::string claudeFolder() const;         // $HOME/.claude
  std::string claudeDesktopConfig() const;  // <config>/Claude/claude_desktop_config.json

 private:
  std::string home_;
  std::string configHome_;
  std::string dataHome_;
};

}  // namespace corvanta
