// HttpRoutes: what each path of the local API does. The browser extension saves
// and browses pages here; the stdio MCP servers forward tool calls here when they
// cannot reach the vault folder themselves.
//
// A path is split at slashes (empty pieces dropped) and matched against a fixed
// table by method, piece count and literal pieces, first match winning. Knowledge
// base and file pieces are percent-decoded. A query string is only understood by
// the routes that take parameters (the file list, search, the duplicate check);
// on every other route it makes the path unknown. Unknown paths, wrong methods
// and wrong piece counts all get 404 {"error": "Not found"}.
//
// Write routes finish the store operation (which updates the search index)
// before scheduling the knowledge base's index file and the vault guide for
// regeneration in the background, so the reply never waits for those. Callable
// from several threads at once.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "http/http_request.h"
#include "http/http_response.h"

namespace corvanta {

class Analytics;
class KestFileManager;
class MCPToolExecutor;

class HttpRoutes {
 public:
  // Opens a folder in the user's file manager; must return at once.
  using FolderOpener = std::function<void(const std::string& folder)>;

  HttpRoutes(std::shared_ptr<KestFileManager> fileManager, Analytics& analytics,
             FolderOpener openFolder);
  ~HttpRoutes();
  HttpRoutes(const HttpRoutes&) = delete;
  HttpRoutes& operator=(const HttpRoutes&) = delete;

  RouteResponse route(const std::string& method, const std::string& path,
                      const std::optional<std::string>& body);
  RouteResponse route(const HttpRequest& request) {
    return route(request.method, request.path, request.body);
  }

 private:
  RouteResponse ping() const;
  RouteResponse openFinder();
  RouteResponse callTool(const std::optional<std::string>& body);
  RouteResponse listKnowledgeBases() const;
  RouteResponse createKnowledgeBase(const std::optional<std::string>& body);
  RouteResponse deleteKnowledgeBase(const std::string& kb);
  RouteResponse listFiles(const std::string& kb, const std::string& path) const;
  RouteResponse writeFile(const std::string& kb, const std::optional<std::string>& body);
  RouteResponse readFile(const std::string& kb, const std::string& file) const;
  RouteResponse editFile(const std::string& kb, const std::string& file,
                         const std::optional<std::string>& body);
  RouteResponse deleteFile(const std::string& kb, const std::string& file);
  RouteResponse search(const std::string& path);
  RouteResponse savedByUrl(const std::string& path);

  // Both derived files after a page changed in `kb`.
  void scheduleRefreshes(const std::string& kb);
  // Built on first use; two first tool calls at once still build one.
  MCPToolExecutor& toolExecutor();

  const std::shared_ptr<KestFileManager> fileManager_;
  Analytics& analytics_;
  const FolderOpener openFolder_;
  std::mutex toolExecutorMutex_;
  std::unique_ptr<MCPToolExecutor> toolExecutor_;
};

}  // namespace corvanta
