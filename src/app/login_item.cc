#include "app/login_item.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <system_error>

#include "platform/atomic_file.h"

namespace corvanta {
namespace {

// An Exec= argument: quoted as the desktop-entry format requires, then with
// every backslash doubled because Exec is also an escaped string value.
std::string quotedExecArgument(const std::string& argument) {
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string escaped;
  for (char c : quoted) {
    if (c == '\\') escaped += '\\';
    if (c == '%') escaped += '%';  // field codes start with %
    escaped += c;
  }
  return escaped;
}

}  // namespace

LoginItem::LoginItem(std::string autostartFile, std::string executable)
    : autostartFile_(std::move(autostartFile)), executable_(std::move(executable)) {}

bool LoginItem::isEnabled() const {
  std::error_code ignored;
  return std::filesystem::exists(autostartFile_, ignored);
}

void LoginItem::setEnabled(bool enabled) const {
  if (!enabled) {
    std::filesystem::remove(autostartFile_);  // absent already counts as done
    return;
  }
  std::filesystem::create_directories(std::filesystem::path(autostartFile_).parent_path());
  writeFileAtomically(autostartFile_, desktopEntry());
}

std::string LoginItem::desktopEntry() const {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Corvanta Vault\n"
         "Comment=Your saved web pages, ready for AI assistants\n"
         "Exec=" +
         quotedExecArgument(executable_) +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

std::string runningExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return "";
  return std::string(buffer, static_cast<size_t>(length));
}

}  // namespace corvanta
