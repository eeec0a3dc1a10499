#include "app/run_modes.h"

#include <sqlite3.h>

#include "app/legacy_migration.h"
#include "platform/diagnostics.h"

namespace corvanta {

RunMode chooseRunMode(const std::vector<std::string>& arguments) {
  bool hook = false;
  for (const std::string& argument : arguments) {
    if (argument == "--mcp") return RunMode::mcpServer;
    if (argument == "--claude-code-hook") hook = true;
  }
  return hook ? RunMode::claudeCodeHook : RunMode::application;
}

int runProcess(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const RunMode mode = chooseRunMode(arguments);
  // Decided before anything can print: in the two protocol modes standard output
  // belongs to the protocol alone.
  if (mode != RunMode::application) setDiagnosticStream(DiagnosticStream::standardError);
  // SQLite's memory statistics take a process-wide lock on every allocation,
  // which the hook's and the server's concurrent searches would contend for;
  // nothing here reads the statistics. Must precede any other SQLite call.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);

  const Paths paths = Paths::fromEnvironment();
  SettingsStore settings(paths.settingsFile());
  SettingsStore legacy(paths.legacySettingsFile());
  migrateLegacyDefaults(settings, legacy);

  switch (mode) {
    case RunMode::mcpServer:
      return runMcpServerMode(paths, settings);
    case RunMode::claudeCodeHook:
      runClaudeCodeHookMode(paths, settings);
      return 0;  // the hook never fails its caller
    case RunMode::application:
      return runApplicationMode(paths, settings, argc, argv);
  }
  return 0;
}

}  // namespace corvanta
