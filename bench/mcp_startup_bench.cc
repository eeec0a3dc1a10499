// How fast an assistant host gets a usable MCP server: the time from spawning
// `corvanta-vault --mcp` to its answer to "initialize", and from closing its
// standard input to its exit. Runs each scenario repeatedly and prints the
// median and the 95th percentile.
//
// Usage: mcp_startup_bench [runs]   (default 50)
// CORVANTA_BENCH_SERVER=<binary> starts another build instead (before/after
// figures under the same machine load).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using namespace corvanta::bench;

struct Timing {
  double toInitialize = 0;
  double toExit = 0;
};

// Reads from `fd` until a full line has arrived; false on end or error.
bool readLine(int fd) {
  char buffer[65536];
  while (true) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count <= 0) return false;
    if (std::find(buffer, buffer + count, '\n') != buffer + count) return true;
  }
}

bool runOnce(const std::string& home, Timing& timing) {
  const std::string request =
      "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\",\"params\":{}}\n";
  const char* other = std::getenv("CORVANTA_BENCH_SERVER");
  const Child child =
      spawnWithPipes({other ? other : CORVANTA_BINARY, "--mcp"}, environmentFor(home));
  if (child.pid < 0) return false;
  const bool ok = ::write(child.input, request.data(), request.size()) ==
                      static_cast<ssize_t>(request.size()) &&
                  readLine(child.output);
  timing.toInitialize = millisecondsSince(child.started);

  const Clock::time_point closing = Clock::now();
  ::close(child.input);
  int status = 0;
  ::waitpid(child.pid, &status, 0);
  timing.toExit = millisecondsSince(closing);
  ::close(child.output);
  return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void runScenario(const char* name, const std::string& home, int runs) {
  std::vector<double> toInitialize, toExit;
  int failures = 0;
  for (int i = 0; i < runs; ++i) {
    Timing timing;
    if (!runOnce(home, timing)) ++failures;
    toInitialize.push_back(timing.toInitialize);
    toExit.push_back(timing.toExit);
  }
  const Latency initialize = summarize(toInitialize), exiting = summarize(toExit);
  std::printf(
      "%-28s spawn->initialize median %6.2f ms  p95 %6.2f ms | stdin closed->exit median %6.2f ms  "
      "p95 %6.2f ms%s\n",
      name, initialize.median, initialize.p95, exiting.median, exiting.p95,
      failures ? "  (some runs failed)" : "");
}

std::string makeHome(bool withKnowledgeBase) {
  char pattern[] = "/tmp/corvanta-mcp-bench-XXXXXX";
  const std::string home = ::mkdtemp(pattern);
  const std::filesystem::path vault = std::filesystem::path(home) / "vault";
  std::filesystem::create_directories(withKnowledgeBase ? vault / "General" : vault);
  writeSettings(home, vault.string());
  return home;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  std::printf("corvanta-vault --mcp start-up, %d runs per scenario\n", runs);
  // An empty vault makes the server ask the application (port 7421) whether it
  // sees knowledge bases; a vault with one knowledge base skips that probe.
  const std::string emptyHome = makeHome(false);
  const std::string filledHome = makeHome(true);
  runScenario("empty vault (probes app)", emptyHome, runs);
  runScenario("one knowledge base", filledHome, runs);
  std::filesystem::remove_all(emptyHome);
  std::filesystem::remove_all(filledHome);
  return 0;
}
