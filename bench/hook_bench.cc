// The Claude Code hook as Claude Code runs it: one whole process per prompt, from
// start to exit, on a generated vault with its search index and index files built.
//
// For each kind of prompt it prints the process's median and p95 wall time, its
// median CPU time (all threads), the largest peak RSS of three runs, and the ratios
// of the medians to the prompt's floor:
// the same keyword searches run straight through SQLite on a fresh connection,
// plus reading every knowledge base's index file, in this process (connection
// closing left out: the hook ends its process instead). The ratio is
// what the hook adds on top of the work no implementation can skip. When
// SQLite's shell is installed, a second floor gives the same searches and
// reads to a sqlite3 process, started and reaped like the hook: what a whole
// process costs that does nothing but SQLite's work. On a busy machine wall
// times swing with the load; CPU times stay comparable.
//
//   ./hook_bench [pages=10000] [runs=40] [seed=42]   (HOOK_BENCH_KEEP=1 keeps the vault)
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "integrations/claude_code_hook.h"
#include "platform/background_queue.h"
#include "platform/paths.h"
#include "search/search_index.h"
#include "vault/kest_file_manager.h"
#include "vault_generator.h"

namespace corvanta {
namespace {

using namespace bench;

struct Prompt {
  std::string kind;
  std::string text;
};

double cpuMilliseconds(const struct timeval& user, const struct timeval& system) {
  return (user.tv_sec + system.tv_sec) * 1e3 + (user.tv_usec + system.tv_usec) / 1e3;
}

struct HookRun {
  double milliseconds = 0;
  double cpuMilliseconds = 0;
  std::string output;
};

// Starts `arguments` with `input` on standard input, reads standard output to
// its end and waits for the exit, as Claude Code does with the hook.
// posix_spawn, not fork: a fork of this process (the generated vault, a built
// index) copies its page tables, which costs milliseconds that depend on the
// bench, not on the program.
HookRun runProcess(std::vector<std::string> arguments, const std::string& input,
                   const std::vector<std::string>& environment) {
  const std::string program = arguments.front();
  Child child = spawnWithPipes(std::move(arguments), environment);
  if (child.pid < 0) std::abort();
  if (::write(child.input, input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    std::abort();
  }
  ::close(child.input);
  HookRun run;
  char buffer[65536];
  for (ssize_t count; (count = ::read(child.output, buffer, sizeof buffer)) > 0;) {
    run.output.append(buffer, static_cast<size_t>(count));
  }
  ::close(child.output);
  int status = 0;
  struct rusage usage {};
  ::wait4(child.pid, &status, 0, &usage);
  run.milliseconds = millisecondsSince(child.started);
  run.cpuMilliseconds = cpuMilliseconds(usage.ru_utime, usage.ru_stime);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed (status %d)\n", program.c_str(), status);
    std::exit(1);
  }
  return run;
}

HookRun runHook(const std::string& event, const std::vector<std::string>& environment) {
  return runProcess({CORVANTA_BINARY, "--claude-code-hook"}, event, environment);
}

bool transfer(ssize_t (*io)(int, void*, size_t), int fd, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t count = io(fd, bytes, size);
    if (count <= 0) return false;
    bytes += count;
    size -= static_cast<size_t>(count);
  }
  return true;
}

ssize_t readSome(int fd, void* data, size_t size) { return ::read(fd, data, size); }
ssize_t writeSome(int fd, void* data, size_t size) { return ::write(fd, data, size); }

// The peak RSS of hook runs. The kernel counts a child's peak from the process
// it was forked from until its exec (with posix_spawn, this whole process), so
// these runs are started by a small launcher, forked before the bench has
// grown, whose own few megabytes are all that can be counted with the hook's.
class PeakMemoryProbe {
 public:
  explicit PeakMemoryProbe(const std::vector<std::string>& environment) {
    int requests[2], replies[2];
    if (::pipe(requests) != 0 || ::pipe(replies) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(requests[1]);
      ::close(replies[0]);
      serve(requests[0], replies[1], environment);
    }
    ::close(requests[0]);
    ::close(replies[1]);
    requests_ = requests[1];
    replies_ = replies[0];
  }

  ~PeakMemoryProbe() {
    ::close(requests_);
    ::close(replies_);
    ::waitpid(pid_, nullptr, 0);
  }

  // One run of the hook with `event`; its peak RSS in KiB.
  long peakKiB(std::string event) {
    auto size = static_cast<uint32_t>(event.size());
    long kib = -1;
    if (!transfer(writeSome, requests_, &size, sizeof size) ||
        !transfer(writeSome, requests_, event.data(), event.size()) ||
        !transfer(readSome, replies_, &kib, sizeof kib) || kib < 0) {
      std::fprintf(stderr, "hook run for peak memory failed\n");
      std::exit(1);
    }
    return kib;
  }

 private:
  [[noreturn]] static void serve(int requests, int replies, std::vector<std::string> environment) {
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    char binary[] = CORVANTA_BINARY;
    char flag[] = "--claude-code-hook";
    char* argv[] = {binary, flag, nullptr};
    for (uint32_t size = 0; transfer(readSome, requests, &size, sizeof size);) {
      std::string event(size, '\0');
      if (!transfer(readSome, requests, event.data(), size)) break;
      int input[2], output[2];
      if (::pipe(input) != 0 || ::pipe(output) != 0) break;
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::close(input[1]);
        ::close(output[0]);
        ::execve(binary, argv, envp.data());
        ::_exit(127);
      }
      ::close(input[0]);
      ::close(output[1]);
      transfer(writeSome, input[1], event.data(), size);
      ::close(input[1]);
      char buffer[4096];
      while (::read(output[0], buffer, sizeof buffer) > 0) {
      }
      ::close(output[0]);
      int status = 0;
      struct rusage usage {};
      ::wait4(pid, &status, 0, &usage);
      long kib = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
      if (!transfer(writeSome, replies, &kib, sizeof kib)) break;
    }
    ::_exit(0);
  }

  pid_t pid_ = -1;
  int requests_ = -1;
  int replies_ = -1;
};

// The work no hook can avoid for these keywords: the searches on a fresh
// connection and one read of every index file. Returns the open connection.
sqlite3* floorWork(const std::string& root, const std::vector<std::string>& keywords,
                   size_t& rows) {
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    if (!entry.is_directory()) continue;
    std::ifstream file(entry.path() / "_index.md", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    rows += text.str().empty() ? 0 : 1;
  }
  sqlite3* db = nullptr;
  sqlite3_open_v2((root + "/.kest-search.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  for (const std::string& keyword : keywords) rows += directSearch(db, keyword);
  return db;
}

// The same work as input for SQLite's own shell, a whole process like the hook:
// the searches, then every index file read through the shell's readfile().
std::string shellFloorScript(const std::string& root, const std::vector<std::string>& keywords) {
  std::string script;
  for (const std::string& keyword : keywords) script += shellSearch(keyword);
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    if (!entry.is_directory()) continue;
    script +=
        "SELECT length(readfile(" + sqlLiteral((entry.path() / "_index.md").string()) + "));\n";
  }
  return script;
}

std::vector<Prompt> prompts(const GeneratedVault& vault) {
  std::string rare = "What did I save about";
  for (size_t i = 0; i < 3 && i < vault.rareWords.size(); ++i) rare += " " + vault.rareWords[i];
  return {
      {"no keywords", "what is this?"},
      {"short, hits", "How do react hooks manage state?"},
      {"short, no hits", "Explain " + vault.absentWord + " quorum semantics"},
      {"short, rare hits", rare + "?"},
      {"long, hits",
       "I'm chasing a performance problem in production: the server process keeps growing in "
       "memory under load, the database query cache never shrinks, and the search index gets "
       "slower every day. Could you walk me through profiling the thread pool, measuring the "
       "network request latency and reading the benchmark numbers for throughput? I would "
       "like a step-by-step plan with the commands to run, what each figure means, and which "
       "settings usually matter most for a service of this size."},
      {"long, no hits",
       "Quarterly taxes are due soon: should my freelance invoices include value-added "
       "surcharges, or does the accountant reconcile ledgers afterwards? Explain deductions, "
       "receipts, mileage and depreciation schedules for a sole proprietor, and tell me which "
       "forms get filed when, including penalties for lateness and how estimated payments "
       "are computed from last year's liability."},
  };
}

std::string hookEvent(const std::string& prompt) {
  return nlohmann::json{{"session_id", "bench"},
                        {"transcript_path", "/tmp/transcript.jsonl"},
                        {"cwd", "/tmp"},
                        {"hook_event_name", "UserPromptSubmit"},
                        {"prompt", prompt}}
      .dump();
}

// Prints the figures of one kind of prompt; returns the hook's peak RSS in KiB.
long measure(const std::string& kind, const std::string& text, const std::string& root,
             const std::vector<std::string>& environment, const ClaudeCodeHook& keywordSource,
             PeakMemoryProbe& memory, int runs, bool withFloor) {
  const std::string event = hookEvent(text);
  const std::vector<std::string> keywords = keywordSource.extractKeywords(text);
  for (int i = 0; i < 3; ++i) runHook(event, environment);  // warm the page cache
  const std::string shell = withFloor && !keywords.empty() ? sqliteShell() : std::string();
  const std::string script = shellFloorScript(root, keywords);
  const std::vector<std::string> shellCommand = {shell, "-batch", root + "/.kest-search.db"};

  std::vector<double> hook, floor, hookCpu, floorCpu, shellFloor;
  long peakKiB = 0;
  size_t answerBytes = 0;
  for (int i = 0; i < runs; ++i) {
    const HookRun run = runHook(event, environment);
    hook.push_back(run.milliseconds);
    hookCpu.push_back(run.cpuMilliseconds);
    answerBytes = run.output.size();
    if (withFloor) {
      size_t rows = 0;
      const Clock::time_point start = Clock::now();
      const double cpuStart = threadCpuMilliseconds();
      sqlite3* db = floorWork(root, keywords, rows);
      floor.push_back(millisecondsSince(start));
      floorCpu.push_back(threadCpuMilliseconds() - cpuStart);
      sqlite3_close(db);
    }
    if (!shell.empty())
      shellFloor.push_back(runProcess(shellCommand, script, environment).milliseconds);
  }
  for (int i = 0; i < 3; ++i) peakKiB = std::max(peakKiB, memory.peakKiB(event));
  const Latency h = summarize(hook);
  const Latency hc = summarize(hookCpu);
  std::printf("%-17s %zu kw %5zu B | hook wall %7.2f ms p95 %7.2f | cpu %7.2f ms | RSS %5.1f MiB",
              kind.c_str(), keywords.size(), answerBytes, h.median, h.p95, hc.median,
              peakKiB / 1024.0);
  if (withFloor) {
    const Latency f = summarize(floor);
    const Latency fc = summarize(floorCpu);
    std::printf(" | floor wall %7.2f cpu %7.2f | ratio wall %5.2f cpu %5.2f", f.median, fc.median,
                h.median / f.median, hc.median / fc.median);
  }
  if (!shell.empty()) {
    const Latency f = summarize(shellFloor);
    std::printf(" | shell %7.2f ms ratio %5.2f", f.median, h.median / f.median);
  }
  std::printf("\n");
  return peakKiB;
}

int benchMain(int argc, char** argv) {
  const size_t pages = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 40;
  const uint32_t seed = argc > 3 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 42;

  char pattern[] = "/tmp/hook-bench-XXXXXX";
  const std::string scratch = ::mkdtemp(pattern);
  const std::string root = scratch + "/vault";
  const std::string home = scratch + "/home";
  std::filesystem::create_directories(home);
  std::vector<std::string> environment = environmentFor(home);
  environment.push_back("KEST_VAULT_ROOT=" + root);
  PeakMemoryProbe memory(environment);  // while this process is still small

  auto start = Clock::now();
  const GeneratedVault vault = generateVault(root, pages, seed);
  std::printf("generated %zu pages (%.1f MiB) in %.0f ms\n", vault.pageCount,
              vault.totalBytes / 1048576.0, millisecondsSince(start));

  start = Clock::now();
  BackgroundQueue queue(2);
  Paths paths(home, home + "/config", home + "/data");  // as environmentFor(home) has them
  auto store = std::make_shared<KestFileManager>(root, paths, queue);
  store->searchIndex();  // schedules the check, which finds the index empty and rebuilds
  queue.waitUntilIdle(std::chrono::minutes(30));
  for (const std::string& kb : vault.knowledgeBases) store->generateIndex(kb);
  std::printf("built the search index and %zu index files in %.0f ms\n",
              vault.knowledgeBases.size(), millisecondsSince(start));

  // The hook lists only the knowledge bases' names; the store's listing also
  // reads the date of every page.
  start = Clock::now();
  const size_t listed = store->listKnowledgeBases().size();
  const double storeListing = millisecondsSince(start);
  start = Clock::now();
  size_t named = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root)) named += entry.is_directory();
  std::printf(
      "listing %zu knowledge bases: with counts and dates %.2f ms, names only %.2f ms (%zu)\n\n",
      listed, storeListing, millisecondsSince(start), named);

  // Only its keyword extraction is used, to give the floor the hook's keywords.
  ClaudeCodeHook keywordSource(store, 5, 3, 6000, ClaudeCodeHook::standardStopWords());

  long peakKiB = 0;
  for (const Prompt& prompt : prompts(vault)) {
    peakKiB = std::max(peakKiB, measure(prompt.kind, prompt.text, root, environment, keywordSource,
                                        memory, runs, true));
  }

  // Without a search database the hook answers from the index files alone.
  // (Skipped when the vault is kept, so that it stays whole for profiling.)
  const bool keep = std::getenv("HOOK_BENCH_KEEP") != nullptr;
  if (!keep) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::filesystem::remove(root + "/.kest-search.db" + suffix);
    }
    const std::vector<Prompt> all = prompts(vault);
    std::printf("\nwithout a search database:\n");
    peakKiB = std::max(peakKiB, measure(all[4].kind, all[4].text, root, environment, keywordSource,
                                        memory, runs, false));
  }

  std::printf("\npeak RSS of any hook run: %.1f MiB\n", peakKiB / 1024.0);

  if (keep) {
    std::printf("vault kept in %s\n", scratch.c_str());
  } else {
    std::filesystem::remove_all(scratch);
  }
  return 0;
}

}  // namespace
}  // namespace corvanta

int main(int argc, char** argv) { return corvanta::benchMain(argc, argv); }
