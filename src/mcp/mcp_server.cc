#include "mcp/mcp_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "app/analytics.h"
#include "mcp/application_proxy.h"
#include "mcp/line_reader.h"
#include "mcp/mcp_core.h"
#include "mcp/mcp_tool_executor.h"
#include "platform/json_text.h"
#include "platform/unicode_text.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

constexpr std::string_view kProxyNotice =
    "Kest MCP: using HTTP proxy (TCC permission issue detected)\n";

// A compiled index answer is several hundred KiB. Through a pipe of the default
// 64 KiB it would go in a handful of writes, each waiting for the host to read
// and wake us again; a pipe this size takes the whole line in one.
constexpr int kOutputPipeBytes = 1 << 20;

// Grows the output pipe; a no-op for files and sockets, and a refusal (a lower
// system limit) leaves the pipe as it was, which only costs time.
void enlargeOutputPipe(int fd) {
  if (::fcntl(fd, F_GETPIPE_SZ) < kOutputPipeBytes) ::fcntl(fd, F_SETPIPE_SZ, kOutputPipeBytes);
}

// Usage events wait while requests keep coming: a host that sends its next
// request within this pause is answered first. Posting an event takes a
// connection of its own, which on a two-core machine slows the very next answer.
constexpr std::chrono::milliseconds kIdlePause{2};
// Bounds on how long and how many events wait when a host never pauses.
constexpr std::chrono::milliseconds kMaxEventDelay{1000};
constexpr size_t kMaxHeldEvents = 64;

// True when input arrives (or the input ends) within `pause`.
bool inputWithin(int fd, std::chrono::milliseconds pause) {
  pollfd input{fd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&input, 1, static_cast<int>(pause.count()));
  } while (ready < 0 && errno == EINTR);
  return ready != 0;
}

// Input is decoded as UTF-8 with invalid bytes replaced by U+FFFD rather than
// rejected: a request carrying one stray byte in a string still gets its answer
// instead of leaving the host waiting for a reply that never comes.
std::string repairedUtf8(std::string_view line) {
  if (isValidUtf8(line)) return std::string(line);
  std::string repaired;
  repaired.reserve(line.size());
  for (size_t offset = 0; offset < line.size();) appendUtf8(repaired, nextCodePoint(line, offset));
  return repaired;
}

}  // namespace

MCPServer::MCPServer(std::shared_ptr<KestFileManager> fileManager,
                     std::shared_ptr<ApplicationProxy> proxy, Analytics& analytics, Streams streams)
    : fileManager_(std::move(fileManager)),
      proxy_(std::move(proxy)),
      analytics_(analytics),
      executor_(std::make_unique<MCPToolExecutor>(fileManager_, analytics_)),
      core_(std::make_unique<MCPCore>(std::make_unique<MCPToolExecutor>(fileManager_, analytics_),
                                      MCPCore::Permission::full, analytics_)),
      streams_(streams) {}

MCPServer::MCPServer(std::shared_ptr<KestFileManager> fileManager,
                     std::shared_ptr<ApplicationProxy> proxy, Analytics& analytics)
    : MCPServer(std::move(fileManager), std::move(proxy), analytics, Streams{}) {}

MCPServer::~MCPServer() = default;

void MCPServer::run() {
  checkStartup();
  enlargeOutputPipe(streams_.output);
  LineReader reader(streams_.input);
  while (std::optional<std::string> line = reader.next()) {
    const std::string_view response = answer(*line);
    if (!response.empty() && !writeAll(streams_.output, response)) return;
    passEventsOnWhenIdle(reader);
  }
  // Events still held are passed on when the server goes (analytics_ flushes).
}

void MCPServer::passEventsOnWhenIdle(const LineReader& reader) {
  if (analytics_.empty()) return;
  if (!analytics_.due(kMaxHeldEvents, kMaxEventDelay) &&
      (reader.hasBufferedInput() || inputWithin(streams_.input, kIdlePause))) {
    return;
  }
  analytics_.flush();
}

void MCPServer::checkStartup() {
  // A visible knowledge base proves the vault is readable here; only an empty
  // view is worth asking the application about.
  if (!fileManager_->listKnowledgeBases().empty()) return;
  if (!proxy_->isReachable() || !proxy_->reportsKnowledgeBases()) return;
  useHTTPProxy_ = true;
  writeAll(streams_.error, kProxyNotice);
}

std::string MCPServer::respondTo(std::string_view line) {
  std::string response(answer(line));
  analytics_.flush();
  return response;
}

std::string_view MCPServer::answer(std::string_view line) {
  if (line.empty()) return {};
  const nlohmann::json request = parseJson(repairedUtf8(line));
  // Malformed lines and batches are dropped without a parse error reply.
  if (request.is_discarded() || !request.is_object()) return {};

  const nlohmann::json response =
      core_->handle(request, [this](const nlohmann::json& params) { return callTool(params); });
  if (response.empty()) return {};
  // Tool texts come from files on disk, which may hold invalid UTF-8; the writer
  // replaces it, which keeps the reply valid JSON instead of losing the answer.
  return writer_.line(response);
}

nlohmann::json MCPServer::callTool(const nlohmann::json& params) {
  auto nameIt = params.find("name");
  const std::string name =
      nameIt != params.end() && nameIt->is_string() ? nameIt->get<std::string>() : "";
  auto argumentsIt = params.find("arguments");
  const nlohmann::json arguments = argumentsIt != params.end() && argumentsIt->is_object()
                                       ? *argumentsIt
                                       : nlohmann::json::object();

  if (useHTTPProxy_) return proxy_->forwardToolCall(name, arguments);
  // The browser capture must run inside the application whenever it answers;
  // the server captures by itself only when the application is not there.
  if (name == "corvanta_save_url" && proxy_->isReachable()) {
    return proxy_->forwardToolCall(name, arguments);
  }
  return executor_->execute(name, arguments);
}

bool MCPServer::writeAll(int fd, std::string_view data) const {
  // One write(2) for the whole line in the usual case; the loop only covers
  // partial writes on a full pipe and interrupted calls.
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace corvanta
