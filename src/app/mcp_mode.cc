#include <iostream>
#include <string>

#include "app/run_modes.h"

namespace corvanta {

// Placeholder until the MCP server lands: consume input until it ends.
int runMcpServerMode(const Paths&, SettingsStore&) {
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}

}  // namespace corvanta
