#include "http/http_routes.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "app/analytics.h"
#include "mcp/mcp_tool_executor.h"
#include "platform/app_version.h"
#include "platform/json_text.h"
#include "platform/unicode_text.h"
#include "search/search_index.h"
#include "vault/kest_file_manager.h"
#include "vault/records.h"

namespace corvanta {
namespace {

// Every caller of the search index asks for this many hits.
constexpr int32_t kSearchLimit = 20;

RouteResponse errorReply(int status, const std::string& message) {
  return {status, {{"error", message}}};
}

RouteResponse okReply(int status = 200) { return {status, {{"ok", true}}}; }

// The pieces of the path between slashes, empty ones dropped. The query string
// stays attached to the last piece, but is not itself split: a parameter value
// may hold an unencoded slash ("saved-by-url?url=https://...").
std::vector<std::string> splitPath(std::string_view path) {
  const size_t question = std::min(path.find('?'), path.size());
  std::string_view route = path.substr(0, question);
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start <= route.size()) {
    size_t end = std::min(route.find('/', start), route.size());
    if (end > start) pieces.emplace_back(route.substr(start, end - start));
    start = end + 1;
  }
  if (question < path.size()) {
    if (pieces.empty()) pieces.emplace_back();
    pieces.back() += path.substr(question);
  }
  return pieces;
}

// Names arrive percent-encoded; one that is not valid encoding is taken as sent.
std::string decodedName(const std::string& piece) { return percentDecode(piece).value_or(piece); }

std::string withoutQuery(const std::string& piece) { return piece.substr(0, piece.find('?')); }

// Decodes a JSON request record; none when the body is absent or does not fit.
template <typename Record>
std::optional<Record> decodeBody(const std::optional<std::string>& body) {
  if (!body) return std::nullopt;
  nlohmann::json value = parseJson(*body);
  if (value.is_discarded()) return std::nullopt;
  try {
    return value.get<Record>();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> readUtf8File(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  std::string content = std::move(text).str();
  if (!isValidUtf8(content)) return std::nullopt;
  return content;
}

}  // namespace

HttpRoutes::HttpRoutes(std::shared_ptr<KestFileManager> fileManager, Analytics& analytics,
                       FolderOpener openFolder)
    : fileManager_(std::move(fileManager)),
      analytics_(analytics),
      openFolder_(std::move(openFolder)) {}

HttpRoutes::~HttpRoutes() = default;

RouteResponse HttpRoutes::route(const std::string& method, const std::string& path,
                                const std::optional<std::string>& body) {
  const std::vector<std::string> pieces = splitPath(path);
  const size_t count = pieces.size();
  // Only the routes that take parameters look past a '?'; elsewhere a query
  // string makes the last piece, and so the path, unknown.
  const bool lastHasQuery = count > 0 && pieces.back().find('?') != std::string::npos;

  if (count == 1) {
    if (method == "GET" && pieces[0] == "ping") return ping();
    if (method == "POST" && pieces[0] == "open-finder") return openFinder();
    if (method == "POST" && pieces[0] == "mcp-tool") return callTool(body);
    if (method == "GET" && pieces[0] == "kbs") return listKnowledgeBases();
    if (method == "POST" && pieces[0] == "kbs") return createKnowledgeBase(body);
  }
  if (count >= 2 && pieces[0] == "kbs") {
    const std::string kb = decodedName(pieces[1]);
    if (count == 2 && method == "DELETE" && !lastHasQuery) return deleteKnowledgeBase(kb);
    if (count == 3 && method == "GET" && withoutQuery(pieces[2]) == "files") {
      return listFiles(kb, path);
    }
    if (count == 3 && method == "POST" && pieces[2] == "files") return writeFile(kb, body);
    if (count == 4 && pieces[2] == "files" && !lastHasQuery) {
      const std::string file = decodedName(pieces[3]);
      if (method == "GET") return readFile(kb, file);
      if (method == "PUT") return editFile(kb, file, body);
      if (method == "DELETE") return deleteFile(kb, file);
    }
  }
  if (count == 1 && method == "GET") {
    if (pieces[0].starts_with("search")) return search(path);
    if (pieces[0].starts_with("saved-by-url")) return savedByUrl(path);
  }
  return errorReply(404, "Not found");
}

RouteResponse HttpRoutes::ping() const {
  return {200, PingResponse{.ok = true, .version = appVersion()}};
}

RouteResponse HttpRoutes::openFinder() {
  analytics_.capture("vault_finder_opened", {{"source", "extension"}});
  openFolder_(fileManager_->rootPath());
  return okReply();
}

RouteResponse HttpRoutes::callTool(const std::optional<std::string>& body) {
  const nlohmann::json request = body ? parseJson(*body) : nlohmann::json();
  if (!request.is_object() || !request.contains("name") || !request["name"].is_string()) {
    return errorReply(400, "Invalid request: need 'name' and 'arguments'");
  }
  const auto arguments = request.find("arguments");
  const nlohmann::json argumentObject =
      arguments != request.end() && arguments->is_object() ? *arguments : nlohmann::json::object();
  return {200, toolExecutor().execute(request["name"].get<std::string>(), argumentObject)};
}

RouteResponse HttpRoutes::listKnowledgeBases() const {
  return {200, fileManager_->listKnowledgeBases()};
}

RouteResponse HttpRoutes::createKnowledgeBase(const std::optional<std::string>& body) {
  const std::optional<CreateKBRequest> request = decodeBody<CreateKBRequest>(body);
  if (!request) return errorReply(400, "Invalid request body");
  try {
    fileManager_->createKnowledgeBase(request->name);
  } catch (const std::exception& error) {
    return errorReply(500, error.what());
  }
  analytics_.capture("vault_kb_created");
  return okReply(201);
}

RouteResponse HttpRoutes::deleteKnowledgeBase(const std::string& kb) {
  try {
    fileManager_->deleteKnowledgeBase(kb);
  } catch (const std::exception& error) {
    return errorReply(500, error.what());
  }
  analytics_.capture("vault_kb_deleted");
  return okReply();
}

RouteResponse HttpRoutes::listFiles(const std::string& kb, const std::string& path) const {
  return {200, fileManager_->listFiles(kb, queryParameter(path, "q"))};
}

RouteResponse HttpRoutes::writeFile(const std::string& kb, const std::optional<std::string>& body) {
  const std::optional<WriteFileRequest> request = decodeBody<WriteFileRequest>(body);
  if (!request) return errorReply(400, "Invalid request body");
  try {
    fileManager_->writeFile(kb, request->filename, request->content, request->meta);
  } catch (const std::exception& error) {
    analytics_.capture("vault_file_save_failed", {{"error", error.what()}});
    return errorReply(500, error.what());
  }
  scheduleRefreshes(kb);
  analytics_.capture("vault_file_saved",
                     {{"size_bytes", request->content.size()}, {"has_meta", true}});
  return {201, {{"ok", true}, {"kb", kb}}};
}

RouteResponse HttpRoutes::readFile(const std::string& kb, const std::string& file) const {
  std::optional<std::string> content;
  try {
    content = readUtf8File(fileManager_->resolvedPath(kb, file));
  } catch (const std::exception&) {
    // An invalid name reads as a missing page.
  }
  if (!content) return errorReply(404, "File not found");
  return {200, {{"content", *content}}};
}

RouteResponse HttpRoutes::editFile(const std::string& kb, const std::string& file,
                                   const std::optional<std::string>& body) {
  const std::optional<EditFileRequest> request = decodeBody<EditFileRequest>(body);
  if (!request) return errorReply(400, "Invalid request body");
  try {
    fileManager_->editFile(kb, file, request->content);
  } catch (const std::exception& error) {
    return errorReply(500, error.what());
  }
  scheduleRefreshes(kb);
  analytics_.capture("vault_file_edited");
  return {200, {{"ok", true}, {"filename", file}}};
}

RouteResponse HttpRoutes::deleteFile(const std::string& kb, const std::string& file) {
  try {
    fileManager_->deleteFile(kb, file);
  } catch (const std::exception& error) {
    return errorReply(500, error.what());
  }
  scheduleRefreshes(kb);
  analytics_.capture("vault_file_deleted");
  return okReply();
}

RouteResponse HttpRoutes::search(const std::string& path) {
  const std::string query = queryParameter(path, "q").value_or("");
  if (query.empty()) return errorReply(400, "Missing query parameter 'q'");
  return {200, fileManager_->searchIndex().search(query, queryParameter(path, "kb"), kSearchLimit)};
}

RouteResponse HttpRoutes::savedByUrl(const std::string& path) {
  const std::string url = queryParameter(path, "url").value_or("");
  if (url.empty()) return errorReply(400, "Missing query parameter 'url'");
  const int64_t count = fileManager_->countSavedPages(url);
  return {200, {{"saved", count > 0}, {"count", count}}};
}

void HttpRoutes::scheduleRefreshes(const std::string& kb) {
  fileManager_->scheduleIndexRefresh(kb);
  fileManager_->scheduleGuideRefresh();
}

MCPToolExecutor& HttpRoutes::toolExecutor() {
  std::lock_guard lock(toolExecutorMutex_);
  if (!toolExecutor_) toolExecutor_ = std::make_unique<MCPToolExecutor>(fileManager_, analytics_);
  return *toolExecutor_;
}

}  // namespace corvanta
