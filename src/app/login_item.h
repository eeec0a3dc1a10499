// The application's login item: an XDG autostart entry, which desktop sessions
// start when the user logs in. The file being present means enabled.
#pragma once

#include <string>

namespace corvanta {

class LoginItem {
 public:
  // `autostartFile` is Paths::autostartFile(); `executable` the absolute path
  // the entry starts.
  LoginItem(std::string autostartFile, std::string executable);

  bool isEnabled() const;

  // Writes the entry atomically (creating its folder) or removes it. Throws
  // std::system_error or std::filesystem::filesystem_error on failure.
  void setEnabled(bool enabled) const;

  // The entry's text.
  std::string desktopEntry() const;

 private:
  std::string autostartFile_;
  std::string executable_;
};

// The resolved path of the running executable (/proc/self/exe); empty if unknown.
std::string runningExecutablePath();

}  // namespace corvanta
