#include <cstdio>

#include "app/run_modes.h"

namespace corvanta {

// Placeholder until the hook lands: "{}" is the answer when nothing is found.
int runClaudeCodeHookMode(const Paths&, SettingsStore&) {
  std::fputs("{}", stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace corvanta
