// How fast an assistant host gets a usable MCP server: the time from spawning
// `corvanta-vault --mcp` to its answer to "initialize", and from closing its
// standard input to its exit. Runs each scenario repeatedly and prints the
// median and the 95th percentile.
//
// Usage: mcp_startup_bench [runs]   (default 50)
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Timing {
  double toInitialize = 0;
  double toExit = 0;
};

std::vector<std::string> environmentFor(const std::string& home) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    std::string text(*entry);
    if (text.rfind("HOME=", 0) == 0 || text.rfind("XDG_", 0) == 0) continue;
    env.push_back(text);
  }
  env.push_back("HOME=" + home);
  env.push_back("XDG_CONFIG_HOME=" + home + "/config");
  env.push_back("XDG_DATA_HOME=" + home + "/data");
  return env;
}

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
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  std::vector<std::string> env = environmentFor(home);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = CORVANTA_BINARY, flag = "--mcp";
  char* argv[] = {program.data(), flag.data(), nullptr};

  const std::string request =
      "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\",\"params\":{}}\n";
  const Clock::time_point start = Clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  bool ok =
      spawned == 0 &&
      ::write(in[1], request.data(), request.size()) == static_cast<ssize_t>(request.size()) &&
      readLine(out[0]);
  timing.toInitialize = millisecondsSince(start);

  const Clock::time_point closing = Clock::now();
  ::close(in[1]);
  int status = 0;
  if (spawned == 0) ::waitpid(pid, &status, 0);
  timing.toExit = millisecondsSince(closing);
  ::close(out[0]);
  return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
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
  std::printf(
      "%-28s spawn->initialize median %6.2f ms  p95 %6.2f ms | stdin closed->exit median %6.2f ms  "
      "p95 %6.2f ms%s\n",
      name, percentile(toInitialize, 0.5), percentile(toInitialize, 0.95), percentile(toExit, 0.5),
      percentile(toExit, 0.95), failures ? "  (some runs failed)" : "");
}

std::string makeHome(bool withKnowledgeBase) {
  char pattern[] = "/tmp/corvanta-mcp-bench-XXXXXX";
  const std::string home = ::mkdtemp(pattern);
  const std::filesystem::path vault = std::filesystem::path(home) / "vault";
  std::filesystem::create_directories(withKnowledgeBase ? vault / "General" : vault);
  std::filesystem::create_directories(std::filesystem::path(home) / "config/corvanta-vault");
  std::FILE* settings = std::fopen((home + "/config/corvanta-vault/settings.json").c_str(), "w");
  if (settings) {
    // Usage events go to a closed local port, never to the real endpoint.
    std::fprintf(settings,
                 "{\"vaultRootPath\":\"%s\",\"analytics.captureURL\":"
                 "\"http://127.0.0.1:9/capture/\"}",
                 vault.c_str());
    std::fclose(settings);
  }
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
