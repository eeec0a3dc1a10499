// The vault tools as an assistant host sees them: round trips of tools/call
// lines to `corvanta-vault --mcp` on a generated vault, with the median and the
// 95th percentile per tool. Searches are set against the same SELECT run
// directly through sqlite3 on the same database in the same run, per query
// class; the ratio is what the server, the executor and the pipes add. Beside
// it, when SQLite's shell is installed, the same SELECT sent to a sqlite3 shell
// kept running on pipes: a server that did nothing but SQLite's work, so its
// ratio is what this server adds over the bare minimum of any stdio server.
//
//   ./mcp_tools_bench [pages=10000] [seed=42] [events=on|off]
//
// CORVANTA_BENCH_SERVER names another server binary to run instead of this
// build's (an older build, to compare two versions on the same machine state).
//
// With events on (the default) every call also posts a usage event to a closed
// local port, as a host's calls would to the real endpoint; off leaves the
// capture URL empty.
//
// The vault's search index, compiled index files and guide are built before the
// server starts, as they would be on a vault in daily use.
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench_support.h"
#include "platform/background_queue.h"
#include "platform/paths.h"
#include "search/search_index.h"
#include "vault/kest_file_manager.h"
#include "vault_generator.h"

namespace corvanta {
namespace {

using namespace bench;

// A child on pipes, closed and reaped when the object goes.
class PipedChild {
 public:
  PipedChild(std::vector<std::string> arguments, const std::vector<std::string>& environment)
      : child_(spawnWithPipes(std::move(arguments), environment)) {}

  ~PipedChild() {
    if (child_.input >= 0) ::close(child_.input);
    if (child_.pid > 0) ::waitpid(child_.pid, nullptr, 0);
    if (child_.output >= 0) ::close(child_.output);
  }

  PipedChild(const PipedChild&) = delete;
  PipedChild& operator=(const PipedChild&) = delete;

  bool running() const { return child_.pid > 0; }
  int input() const { return child_.input; }
  int output() const { return child_.output; }

 private:
  Child child_;
};

std::vector<std::string> serverCommand() {
  const char* other = std::getenv("CORVANTA_BENCH_SERVER");
  return {other ? other : CORVANTA_BINARY, "--mcp"};
}

// One `corvanta-vault --mcp` child spoken to over pipes, line by line.
class McpSession {
 public:
  explicit McpSession(const std::string& home) : child_(serverCommand(), environmentFor(home)) {}

  bool running() const { return child_.running(); }

  // Sends one request line and returns the response line ("" on failure), valid
  // until the next call.
  const std::string& roundTrip(const nlohmann::json& request) {
    std::string line = request.dump() + "\n";
    for (size_t written = 0; written < line.size();) {
      ssize_t count = ::write(child_.input(), line.data() + written, line.size() - written);
      if (count <= 0) {
        line_.clear();
        return line_;
      }
      written += static_cast<size_t>(count);
    }
    return readLine();
  }

  const std::string& callTool(const std::string& name, const nlohmann::json& arguments) {
    return roundTrip({{"jsonrpc", "2.0"},
                      {"id", ++nextId_},
                      {"method", "tools/call"},
                      {"params", {{"name", name}, {"arguments", arguments}}}});
  }

 private:
  // The line lands in a buffer kept between calls, as a host's reader would
  // keep one: a fresh copy of a 400 KiB answer per call would time this
  // process's page faults rather than the server.
  const std::string& readLine() {
    for (;;) {
      size_t end = buffer_.find('\n', scanned_);
      if (end != std::string::npos) {
        line_.assign(buffer_, 0, end);
        buffer_.erase(0, end + 1);
        scanned_ = 0;
        return line_;
      }
      scanned_ = buffer_.size();
      ssize_t count = ::read(child_.output(), chunk_.data(), chunk_.size());
      if (count <= 0) {
        line_.clear();
        return line_;
      }
      buffer_.append(chunk_.data(), static_cast<size_t>(count));
    }
  }

  PipedChild child_;
  std::vector<char> chunk_ = std::vector<char>(1 << 20);
  std::string buffer_;
  std::string line_;
  size_t scanned_ = 0;
  int nextId_ = 0;
};

// SQLite's own shell kept running on pipes, the way the host keeps the server:
// the floor of a search answered by a process that does nothing but SQLite's
// work. Each search ends with a marker line, so the answer's end is known.
class ShellSession {
 public:
  // Starts nothing when `shell` is empty.
  ShellSession(const std::string& shell, const std::string& database,
               const std::vector<std::string>& environment)
      : child_(shell.empty() ? std::vector<std::string>{}
                             : std::vector<std::string>{shell, "-batch", database},
               environment) {}

  bool running() const { return child_.running(); }

  // Runs the search; false when the shell went away.
  bool search(const std::string& query) {
    const std::string input = shellSearch(query) + "SELECT '" + kMarker + "';\n";
    if (::write(child_.input(), input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
      return false;
    }
    answer_.clear();
    const std::string ending = std::string(kMarker) + "\n";
    while (answer_.size() < ending.size() ||
           answer_.compare(answer_.size() - ending.size(), ending.size(), ending) != 0) {
      const ssize_t count = ::read(child_.output(), chunk_, sizeof chunk_);
      if (count <= 0) return false;
      answer_.append(chunk_, static_cast<size_t>(count));
    }
    return true;
  }

 private:
  static constexpr const char* kMarker = "corvanta-bench-end";
  PipedChild child_;
  char chunk_[65536];
  std::string answer_;
};

bool isToolError(const std::string& response) {
  nlohmann::json parsed = nlohmann::json::parse(response, nullptr, false);
  return parsed.is_discarded() || !parsed.contains("result") ||
         parsed["result"].value("isError", false);
}

// Times `runs` calls of one tool; counts calls whose answer was not a result.
Latency timeTool(McpSession& session, const std::string& name, const nlohmann::json& arguments,
                 int runs, size_t* responseBytes = nullptr) {
  std::vector<double> samples;
  int failures = 0;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    const std::string& response = session.callTool(name, arguments);
    samples.push_back(millisecondsSince(start));
    if (isToolError(response)) ++failures;
    if (responseBytes) *responseBytes = response.size();
  }
  if (failures) std::printf("  (%s: %d of %d calls failed)\n", name.c_str(), failures, runs);
  return summarize(samples);
}

// An unknown name is answered by the executor at once: the round trip is the
// protocol's own cost, which the cheap query classes are dominated by.
Latency timeToolFloor(McpSession& session, int runs) {
  std::vector<double> samples;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    session.callTool("no_such_tool", nlohmann::json::object());
    samples.push_back(millisecondsSince(start));
  }
  return summarize(samples);
}

void printLine(const std::string& label, const Latency& latency, const std::string& extra = "") {
  std::printf("  %-40s median %8.3f ms  p95 %8.3f ms%s\n", label.c_str(), latency.median,
              latency.p95, extra.c_str());
}

struct QueryClass {
  const char* label;
  std::vector<std::string> queries;
};

std::vector<QueryClass> queryClasses(const GeneratedVault& vault) {
  QueryClass common{"one common word (prefix)", vault.commonWords};
  QueryClass rare{"one rare word (prefix)", vault.rareWords};
  QueryClass both{"two words (AND)", {}};
  for (size_t i = 0; i + 1 < vault.commonWords.size(); ++i) {
    both.queries.push_back(vault.commonWords[i] + " " + vault.commonWords[i + 1]);
  }
  QueryClass none{"no hit", {vault.absentWord, vault.absentWord + " " + vault.commonWords[0]}};
  return {common, rare, both, none};
}

// Samples per side that a cheap query class gets at least: the median of twenty
// 0.1 ms calls moves with every hiccup of a shared machine.
constexpr size_t kCheapClassSamples = 200;
constexpr double kCheapCallMs = 2.0;

// Interleaves the tool's round trips with the direct statement, alternating
// which goes first, so that both see the same machine load and the same caches.
void benchSearch(McpSession& session, sqlite3* db, ShellSession& shell, const GeneratedVault& vault,
                 int rounds) {
  std::printf(
      "corvanta_search round trip vs. the same SELECT through sqlite3 (%d rounds, at least %zu "
      "samples for classes under %.0f ms):\n",
      rounds, kCheapClassSamples, kCheapCallMs);
  for (const QueryClass& queryClass : queryClasses(vault)) {
    std::vector<double> viaTool, direct, viaShell;
    auto measureTool = [&](const std::string& query) {
      auto start = Clock::now();
      session.callTool("corvanta_search", {{"query", query}});
      viaTool.push_back(millisecondsSince(start));
    };
    auto measureDirect = [&](const std::string& query) {
      auto start = Clock::now();
      directSearch(db, query);
      direct.push_back(millisecondsSince(start));
    };
    auto measureShell = [&](const std::string& query) {
      if (!shell.running()) return;
      auto start = Clock::now();
      if (shell.search(query)) viaShell.push_back(millisecondsSince(start));
    };
    const size_t queries = queryClass.queries.size();
    size_t classRounds = static_cast<size_t>(rounds);
    for (size_t round = 0; round < classRounds; ++round) {
      for (const std::string& query : queryClass.queries) {
        if (round % 2 == 0) {
          measureTool(query);
          measureDirect(query);
        } else {
          measureDirect(query);
          measureTool(query);
        }
        measureShell(query);
      }
      if (round == 0 && summarize(direct).median < kCheapCallMs) {
        classRounds = std::max(classRounds, (kCheapClassSamples + queries - 1) / queries);
      }
    }
    Latency tool = summarize(viaTool), sql = summarize(direct);
    std::printf(
        "  %-26s tool median %7.3f ms p95 %7.3f ms | sqlite3 median %7.3f ms p95 %7.3f ms | "
        "ratio %.2f\n",
        queryClass.label, tool.median, tool.p95, sql.median, sql.p95, tool.median / sql.median);
    if (!viaShell.empty()) {
      const Latency piped = summarize(viaShell);
      std::printf("  %-26s sqlite3 shell over pipes median %7.3f ms p95 %7.3f ms | ratio %.2f\n",
                  "", piped.median, piped.p95, tool.median / piped.median);
    }
  }
}

std::string makeHome(size_t pages, uint32_t seed, bool sendEvents, GeneratedVault& vault) {
  std::string home = (std::filesystem::temp_directory_path() / "corvanta-bench-XXXXXX").string();
  if (!::mkdtemp(home.data())) return {};
  vault = generateVault(home + "/vault", pages, seed);
  writeSettings(home, home + "/vault", sendEvents);
  return home;
}

// The derived data of a vault in use: search index, index files, guide.
void prepareVault(const std::string& home, const std::string& root) {
  BackgroundQueue queue(1);
  auto store =
      std::make_shared<KestFileManager>(root, Paths(home, home + "/config", home + "/data"), queue);
  auto start = Clock::now();
  {
    SearchIndex index(root);
    index.rebuildAll(*store);
  }
  for (const KnowledgeBase& kb : store->listKnowledgeBases()) store->generateIndex(kb.name);
  store->generateGuide();
  std::printf("prepared search index, index files and guide in %.0f ms\n",
              millisecondsSince(start));
}

int run(size_t pages, uint32_t seed, bool sendEvents) {
  GeneratedVault vault;
  std::string home = makeHome(pages, seed, sendEvents, vault);
  if (home.empty()) return 1;
  std::printf("vault: %zu pages in %zu knowledge bases, %.1f MiB; usage events %s\n",
              vault.pageCount, vault.knowledgeBases.size(),
              static_cast<double>(vault.totalBytes) / 1048576.0, sendEvents ? "on" : "off");
  prepareVault(home, vault.root);

  BackgroundQueue queue(1);
  KestFileManager store(vault.root, Paths(home, home + "/config", home + "/data"), queue);
  std::vector<KnowledgeBase> kbs = store.listKnowledgeBases();
  auto largest = std::max_element(kbs.begin(), kbs.end(), [](const auto& a, const auto& b) {
    return a.fileCount < b.fileCount;
  });
  auto smallest = std::min_element(kbs.begin(), kbs.end(), [](const auto& a, const auto& b) {
    return a.fileCount < b.fileCount;
  });
  std::string page = store.listFiles(largest->name).front().filename;

  McpSession session(home);
  if (!session.running()) return 1;
  session.roundTrip({{"jsonrpc", "2.0"}, {"id", 0}, {"method", "initialize"}, {"params", {}}});
  timeTool(session, "corvanta_search", {{"query", vault.commonWords[0]}}, 5);  // warm caches

  sqlite3* db = nullptr;
  sqlite3_open_v2((vault.root + "/.kest-search.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  // What every call costs before any tool runs: pipes, JSON, dispatch.
  printLine("round trip of an unknown tool (floor)", timeToolFloor(session, 500));
  ShellSession shell(sqliteShell(), vault.root + "/.kest-search.db", environmentFor(home));
  benchSearch(session, db, shell, vault, 10);
  sqlite3_close(db);

  std::printf("other tools:\n");
  auto report = [&](const std::string& label, const std::string& tool,
                    const nlohmann::json& arguments, int runs) {
    size_t bytes = 0;
    Latency latency = timeTool(session, tool, arguments, runs, &bytes);
    printLine(label, latency, "  (" + std::to_string(bytes / 1024) + " KiB answer)");
  };
  report("corvanta_get_overview (vault)", "corvanta_get_overview", {}, 100);
  report("corvanta_get_overview(kb), largest kb", "corvanta_get_overview", {{"kb", largest->name}},
         200);
  report("corvanta_get_overview(kb), smallest kb", "corvanta_get_overview",
         {{"kb", smallest->name}}, 200);
  report("corvanta_read_file", "corvanta_read_file", {{"kb", largest->name}, {"filename", page}},
         500);
  report("corvanta_list_files (" + std::to_string(largest->fileCount) + " pages)",
         "corvanta_list_files", {{"kb", largest->name}}, 20);
  report("corvanta_lint", "corvanta_lint", {}, 5);

  std::filesystem::remove_all(home);
  return 0;
}

}  // namespace
}  // namespace corvanta

int main(int argc, char** argv) {
  size_t pages = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
  uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 42;
  bool sendEvents = argc <= 3 || std::string(argv[3]) != "off";
  return corvanta::run(pages, seed, sendEvents);
}
