// Ending the stdio MCP servers that assistant applications started from this
// executable, when the application quits: they would otherwise keep forwarding
// to an API that is gone.
#pragma once

#include <sys/types.h>

#include <string_view>
#include <vector>

namespace corvanta {

class ProcessLauncher;

// The pgrep -f patterns, in the order they are tried: stdio servers under the
// current or the earlier product name, and processes that name the application
// after the word "disclaimer".
inline constexpr std::string_view kStrayServerPatterns[] = {
    "([Cc]orvanta|[Kk]est)[ -][Vv]ault.*--mcp",
    "disclaimer.*([Cc]orvanta|[Kk]est)[ -][Vv]ault",
};

// Process ids listed one per line by pgrep: blank lines and lines that are not a
// signed 32-bit decimal number are skipped, as are ids that do not name a single
// process (zero or negative: kill(2) would read those as process groups).
std::vector<pid_t> parseProcessIds(std::string_view output);

// Runs pgrep -f for each pattern and sends SIGTERM to every match except
// `self`. Returns the ids signalled. Failures are ignored.
std::vector<pid_t> terminateStrayServers(ProcessLauncher& launcher, pid_t self);

}  // namespace corvanta
