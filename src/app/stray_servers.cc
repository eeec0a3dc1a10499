#include "app/stray_servers.h"

#include <signal.h>

#include <charconv>
#include <cstdint>
#include <string>

#include "platform/process_launcher.h"
#include "platform/unicode_text.h"

namespace corvanta {
namespace {

std::optional<int32_t> parseSigned32(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::vector<pid_t> parseProcessIds(std::string_view output) {
  std::vector<pid_t> ids;
  if (!isValidUtf8(output)) return ids;
  for (std::string_view line : splitLines(output)) {
    std::optional<int32_t> id = parseSigned32(trimWhitespaceAndNewlines(line));
    if (id && *id > 0) ids.push_back(static_cast<pid_t>(*id));
  }
  return ids;
}

std::vector<pid_t> terminateStrayServers(ProcessLauncher& launcher, pid_t self) {
  std::vector<pid_t> signalled;
  for (std::string_view pattern : kStrayServerPatterns) {
    std::optional<std::string> output =
        launcher.runAndCapture({"pgrep", "-f", std::string(pattern)});
    if (!output) continue;
    for (pid_t id : parseProcessIds(*output)) {
      if (id == self) continue;
      ::kill(id, SIGTERM);  // a process that already ended is no concern
      signalled.push_back(id);
    }
  }
  return signalled;
}

}  // namespace corvanta
