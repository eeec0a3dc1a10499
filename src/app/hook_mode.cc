#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/run_modes.h"
#include "integrations/claude_code_hook.h"
#include "vault/kest_file_manager.h"

namespace corvanta {

int runClaudeCodeHookMode(const Paths& paths, SettingsStore& settings) {
  // Claude Code may stop listening (its time limit ran out); the write then fails
  // quietly instead of killing the process with a status Claude Code would report.
  std::signal(SIGPIPE, SIG_IGN);
  std::optional<std::string> root;
  if (const char* value = std::getenv("KEST_VAULT_ROOT"); value != nullptr && *value != '\0') {
    root = value;
  }
  ClaudeCodeHook hook(KestFileManager::create(root, settings, paths), 5, 3, 6000,
                      ClaudeCodeHook::standardStopWords());
  hook.run();
  std::fflush(nullptr);
  // The answer is out; end here rather than unwind. A search-index rebuild this
  // run may have started is still working on a background thread: tearing the
  // store down under it, or closing the last database connection (which folds
  // the write-ahead log back into the database), would make Claude Code wait
  // for work it has no use for, or risk a crash that turns status 0 into a
  // failure. The rebuild's completion marker lets the next process finish it.
  std::_Exit(0);
}

}  // namespace corvanta
