// The knowledge graph file and the store's operations on it.
//
// Additions are serialised, within a process and across processes, by an
// exclusive flock on "_graph.json.lock" beside the graph, and the graph is
// replaced atomically: two assistants relating pages at the same moment both
// keep their edge, and a reader never sees half a file. Readers take no lock.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>

#include "platform/atomic_file.h"
#include "platform/json_text.h"
#include "platform/local_time.h"
#include "vault/kest_file_manager.h"
#include "vault/text_file.h"

namespace corvanta {

void to_json(nlohmann::json& j, const GraphEdge& value) {
  j = nlohmann::json{{"from", value.from}, {"to", value.to}, {"reason", value.reason}};
}

void from_json(const nlohmann::json& j, GraphEdge& value) {
  j.at("from").get_to(value.from);
  j.at("to").get_to(value.to);
  j.at("reason").get_to(value.reason);
}

void to_json(nlohmann::json& j, const KnowledgeGraph& value) {
  j = nlohmann::json{{"edges", value.edges}, {"updated", value.updated}};
}

void from_json(const nlohmann::json& j, KnowledgeGraph& value) {
  j.at("edges").get_to(value.edges);
  j.at("updated").get_to(value.updated);
}

namespace {

constexpr const char* kGraphFileName = "_graph.json";

// Holds an exclusive flock on `path` for its lifetime. flock locks belong to the
// open file description, so two threads of one process exclude each other too.
class GraphLock {
 public:
  explicit GraphLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ < 0) return;  // unlockable folder: the write below will fail as well
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~GraphLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  GraphLock(const GraphLock&) = delete;
  GraphLock& operator=(const GraphLock&) = delete;

 private:
  int fd_;
};

// Moves a graph left in the vault root by earlier versions to its current place.
// The move never replaces an existing graph: when another process got there
// first (or the file was already migrated), the legacy copy is simply dropped.
void migrateLegacyGraph(const std::string& legacyPath, const std::string& currentPath) {
  std::error_code error;
  // Only a plain file: a folder of that name would be a knowledge base.
  if (!std::filesystem::is_regular_file(legacyPath, error)) return;
  try {
    if (moveWithoutReplacing(legacyPath, currentPath)) return;
  } catch (const std::exception&) {
    return;  // nothing moved; try again on the next load
  }
  std::filesystem::remove(legacyPath, error);
}

KnowledgeGraph decodeGraph(const std::string& text) {
  nlohmann::json json = parseJson(text);
  if (json.is_discarded()) return {};
  try {
    return json.get<KnowledgeGraph>();
  } catch (const nlohmann::json::exception&) {
    return {};
  }
}

// The knowledge base of a page key: the text before its first "/".
std::string knowledgeBaseOfKey(const std::string& key) { return key.substr(0, key.find('/')); }

}  // namespace

std::string KestFileManager::graphPath() const {
  std::string folder = paths_.applicationSupport() + "/KestVault";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder + "/" + kGraphFileName;
}

KnowledgeGraph KestFileManager::loadGraph() const {
  std::string path = graphPath();
  migrateLegacyGraph(rootPath_ + "/" + kGraphFileName, path);
  std::optional<TextFile> file = readTextFile(path);
  return file ? decodeGraph(file->text) : KnowledgeGraph{};
}

std::vector<RelatedPage> KestFileManager::relatedPages(const std::string& kb,
                                                       const std::string& filename) const {
  const std::string key = kb + "/" + filename;
  std::vector<RelatedPage> related;
  for (GraphEdge& edge : loadGraph().edges) {
    std::string* other = edge.from == key ? &edge.to : edge.to == key ? &edge.from : nullptr;
    if (!other) continue;
    // Split at the first "/" only; an end without both parts names no page.
    size_t slash = other->find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == other->size()) continue;
    related.push_back({other->substr(0, slash), other->substr(slash + 1), std::move(edge.reason)});
  }
  return related;
}

void KestFileManager::addRelation(const std::string& from, const std::string& to,
                                  const std::string& reason) {
  {
    const std::string path = graphPath();
    GraphLock lock(path + ".lock");
    KnowledgeGraph graph = loadGraph();
    for (const GraphEdge& edge : graph.edges) {
      bool samePair = (edge.from == from && edge.to == to) || (edge.from == to && edge.to == from);
      if (samePair) return;
    }
    graph.edges.push_back({from, to, reason});
    graph.updated = formatISO8601(std::chrono::system_clock::now());
    try {
      writeFileAtomically(path, prettyJson(graph));
    } catch (const std::exception&) {
      return;  // the addition is lost; the previous graph stays whole
    }
  }
  // Outside the lock: the refreshes read the graph themselves.
  std::set<std::string> knowledgeBases;
  for (const std::string* key : {&from, &to}) {
    std::string kb = knowledgeBaseOfKey(*key);
    if (!kb.empty() && knowledgeBases.insert(kb).second) scheduleIndexRefresh(kb);
  }
}

}  // namespace corvanta
