#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace corvanta {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string homeFromPasswd() {
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

// XDG: a value that is unset, empty or not absolute is treated as unset.
std::string xdgOr(const char* name, const std::string& fallback) {
  std::string value = environment(name);
  return (!value.empty() && value.front() == '/') ? value : fallback;
}

}  // namespace

Paths Paths::fromEnvironment() {
  std::string home = environment("HOME");
  if (home.empty()) home = homeFromPasswd();
  return Paths(home, xdgOr("XDG_CONFIG_HOME", home + "/.config"),
               xdgOr("XDG_DATA_HOME", home + "/.local/share"));
}

Paths::Paths(std::string home, std::string configHome, std::string dataHome)
    : home_(std::move(home)), configHome_(std::move(configHome)), dataHome_(std::move(dataHome)) {}

std::string Paths::defaultVaultRoot() const { return home_ + "/Documents/Kest Vault"; }
std::string Paths::settingsFile() const { return configHome_ + "/corvanta-vault/settings.json"; }
std::string Paths::legacySettingsFile() const { return configHome_ + "/kest-vault/settings.json"; }
std::string Paths::applicationSupport() const { return dataHome_; }
std::string Paths::autostartFile() const {
  return configHome_ + "/autostart/corvanta-vault.desktop";
}
std::string Paths::claudeFolder() const { return home_ + "/.claude"; }
std::string Paths::claudeDesktopConfig() const {
  return configHome_ + "/Claude/claude_desktop_config.json";
}

}  // namespace corvanta
