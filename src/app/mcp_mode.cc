#include <signal.h>

#include <chrono>
#include <memory>
#include <optional>

#include "app/analytics.h"
#include "app/run_modes.h"
#include "mcp/application_proxy.h"
#include "mcp/mcp_server.h"
#include "mcp/tool_result.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

// Stands in for the application's HTTP API until the client for it is wired in:
// the application never answers, so every tool runs against the local vault.
class UnreachableApplicationProxy : public ApplicationProxy {
 public:
  bool isReachable() override { return false; }
  bool reportsKnowledgeBases() override { return false; }
  nlohmann::json forwardToolCall(const std::string&, const nlohmann::json&) override {
    return makeToolResult(
        "Error: Failed to reach Corvanta Vault HTTP server. Is Corvanta Vault running?", true);
  }
};

}  // namespace

int runMcpServerMode(const Paths& paths, SettingsStore& settings) {
  // A host that stops reading must not kill the server mid-write: the loop sees
  // the failed write and ends normally, so pending index updates still finish.
  ::signal(SIGPIPE, SIG_IGN);

  NoAnalytics analytics;
  analytics.capture("vault_mcp_started", nlohmann::json::object());
  std::shared_ptr<KestFileManager> store = KestFileManager::create(std::nullopt, settings, paths);
  {
    MCPServer server(store, std::make_shared<UnreachableApplicationProxy>(), analytics);
    server.run();
  }
  // An assistant's last edit schedules _index.md and README.md regeneration in
  // the background; give it a bounded moment to land before the process ends.
  store->waitForRefreshes(std::chrono::seconds(10));
  return 0;
}

}  // namespace corvanta
