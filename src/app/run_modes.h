// Process entry: the one-time settings migration, then one of three run modes
// chosen from the command line.
#pragma once

#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/settings_store.h"

namespace corvanta {

enum class RunMode { mcpServer, claudeCodeHook, application };

// "--mcp" anywhere wins over "--claude-code-hook" anywhere; matching is exact and
// case-sensitive; every other argument is ignored.
RunMode chooseRunMode(const std::vector<std::string>& arguments);

// The whole process: returns the exit status.
int runProcess(int argc, char** argv);

// The three modes. Each returns the process's exit status.
int runMcpServerMode(const Paths& paths, SettingsStore& settings);
int runClaudeCodeHookMode(const Paths& paths, SettingsStore& settings);
int runApplicationMode(const Paths& paths, SettingsStore& settings, int argc, char** argv);

}  // namespace corvanta
