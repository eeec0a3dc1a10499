// Starting other programs: detached helpers the user sees the effect of
// (xdg-open), and short commands whose output we read (pgrep). Behind an
// interface so callers can be tested without starting anything.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvanta {

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;

  // Starts `arguments` (program first, looked up on PATH) in a session of its
  // own and returns at once; the program is never waited for. Its standard
  // streams are /dev/null. False when it could not be started.
  virtual bool startDetached(const std::vector<std::string>& arguments) = 0;

  // Runs `arguments` to completion and returns everything it wrote on standard
  // output, whatever its exit status; none when it could not be started.
  virtual std::optional<std::string> runAndCapture(const std::vector<std::string>& arguments) = 0;
};

// The real thing, on posix_spawn.
class PosixProcessLauncher : public ProcessLauncher {
 public:
  bool startDetached(const std::vector<std::string>& arguments) override;
  std::optional<std::string> runAndCapture(const std::vector<std::string>& arguments) override;
};

}  // namespace corvanta
