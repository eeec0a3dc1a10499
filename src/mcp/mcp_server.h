// MCPServer: the stdio MCP server an assistant host starts as a child process
// ("corvanta-vault --mcp"). It reads newline-delimited JSON-RPC from its input,
// hands every JSON object to a full-permission MCPCore and writes each non-empty
// response as one line on its output.
//
// The operating system may deny a process started by another application access
// to the vault folder while the application itself can read it. So, before the
// first line, the server checks: when it sees no knowledge base but the running
// application answers and reports some, every tool call is forwarded to the
// application's HTTP API for the rest of the server's life. Independently, the
// save-URL tool is forwarded whenever the application answers, so the capture
// through the browser runs inside the application.
//
// Single-threaded: the loop, the tools and the blocking HTTP requests all run on
// the caller's thread, one request at a time.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "mcp/deferred_analytics.h"
#include "mcp/json_line_writer.h"

namespace corvanta {

class Analytics;
class ApplicationProxy;
class LineReader;
class KestFileManager;
class MCPCore;
class MCPToolExecutor;

class MCPServer {
 public:
  // File descriptors the server speaks on; tests substitute pipes or files.
  struct Streams {
    int input = 0;
    int output = 1;
    int error = 2;
  };

  // `fileManager` is the process's vault store; `proxy` reaches the running
  // application. Both are shared with the caller, which may outlive the server.
  MCPServer(std::shared_ptr<KestFileManager> fileManager, std::shared_ptr<ApplicationProxy> proxy,
            Analytics& analytics, Streams streams);
  MCPServer(std::shared_ptr<KestFileManager> fileManager, std::shared_ptr<ApplicationProxy> proxy,
            Analytics& analytics);
  ~MCPServer();
  MCPServer(const MCPServer&) = delete;
  MCPServer& operator=(const MCPServer&) = delete;

  // The start-up check, then the read loop. Returns when the input ends (or the
  // output can no longer be written: nobody is listening any more).
  void run();

  // Decided once by the start-up check, never cleared.
  bool usesHTTPProxy() const { return useHTTPProxy_; }

  // The pieces of run(), public so that each can be exercised on its own.
  void checkStartup();
  // Handles one input line (without its terminator). Returns the line to write
  // (terminated by "\n"), or an empty string when nothing is to be written. The
  // events the request recorded are passed on before it returns.
  std::string respondTo(std::string_view line);
  // The tool-call override: forwards to the application or runs locally.
  nlohmann::json callTool(const nlohmann::json& params);

 private:
  // respondTo() without passing the events on; the view lives until the next
  // call.
  std::string_view answer(std::string_view line);
  // Passes the held events on once the host pauses (or too many or too old are
  // held), so that their posting never competes with a request.
  void passEventsOnWhenIdle(const LineReader& reader);
  bool writeAll(int fd, std::string_view data) const;

  std::shared_ptr<KestFileManager> fileManager_;
  std::shared_ptr<ApplicationProxy> proxy_;
  // Declared before the executor and core that record into it.
  DeferredAnalytics analytics_;
  JsonLineWriter writer_;
  std::unique_ptr<MCPToolExecutor> executor_;
  std::unique_ptr<MCPCore> core_;
  const Streams streams_;
  bool useHTTPProxy_ = false;
};

}  // namespace corvanta
