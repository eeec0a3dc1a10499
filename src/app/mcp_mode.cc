#include <signal.h>

#include <chrono>
#include <memory>
#include <optional>

#include "app/event_reporter.h"
#include "app/run_modes.h"
#include "mcp/http_application_proxy.h"
#include "mcp/mcp_server.h"
#include "platform/http_client.h"
#include "vault/kest_file_manager.h"

namespace corvanta {

int runMcpServerMode(const Paths& paths, SettingsStore& settings) {
  // A host that stops reading must not kill the server mid-write: the loop sees
  // the failed write and ends normally, so pending index updates still finish.
  ::signal(SIGPIPE, SIG_IGN);

  EventReporter analytics(settings);
  analytics.capture("vault_mcp_started");
  HttpClient httpClient;
  std::shared_ptr<KestFileManager> store = KestFileManager::create(std::nullopt, settings, paths);
  {
    MCPServer server(store, std::make_shared<HttpApplicationProxy>(httpClient), analytics);
    server.run();
  }
  // An assistant's last edit schedules _index.md and README.md regeneration in
  // the background; give it a bounded moment to land before the process ends.
  store->waitForRefreshes(std::chrono::seconds(10));
  analytics.shutdown();
  return 0;
}

}  // namespace corvanta
