// Pieces the benchmark programs share, header only so that each bench/*.cc stays
// one self-contained program: clocks, a median/p95 summary, the search floor
// query, and a `corvanta-vault` child on pipes in a scratch home.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "search/search_index.h"

extern char** environ;

namespace corvanta::bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// On a shared, loaded machine wall time mostly measures the neighbours; CPU
// time stays comparable between runs, so benchmarks print both.
inline double threadCpuMilliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// All threads of this process, including those of an in-process server.
inline double processCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Latency {
  double median = 0;
  double p95 = 0;
  double max = 0;
};

// Nearest rank, so that small sample counts still pick a measured value.
inline Latency summarize(std::vector<double> samples) {
  if (samples.empty()) return {};
  std::sort(samples.begin(), samples.end());
  auto at = [&](double q) {
    return samples[static_cast<size_t>(q * static_cast<double>(samples.size() - 1) + 0.5)];
  };
  return {at(0.5), at(0.95), samples.back()};
}

// The statement SearchIndex runs for a search without a knowledge base.
inline constexpr const char* kSearchColumns =
    "SELECT kb, filename, title, domain, url, snippet(pages_fts, 5, '', '', '...', 30) as "
    "snippet FROM pages_fts WHERE pages_fts MATCH ";
inline constexpr const char* kSearchOrder = " ORDER BY rank LIMIT ";
inline constexpr int kSearchLimit = 20;

// What any implementation must pay for a search: that statement prepared,
// stepped and finalized, every column read (the index keeps its statement
// prepared between calls, so this floor even pays a little more than it does).
// Returns the number of rows.
inline size_t directSearch(sqlite3* db, const std::string& query) {
  static const std::string sql = std::string(kSearchColumns) + "?" + kSearchOrder + "?";
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
  const std::string expression = SearchIndex::buildMatchQuery(query);
  sqlite3_bind_text(statement, 1, expression.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(statement, 2, kSearchLimit);
  size_t rows = 0;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    for (int column = 0; column < 6; ++column) sqlite3_column_text(statement, column);
    ++rows;
  }
  sqlite3_finalize(statement);
  return rows;
}

// SQLite's own command-line shell, the floor of a whole process (or of a
// process spoken to over pipes) that does nothing but SQLite's work:
// $CORVANTA_BENCH_SQLITE3, else /usr/bin/sqlite3; "" when neither runs.
inline std::string sqliteShell() {
  const char* chosen = std::getenv("CORVANTA_BENCH_SQLITE3");
  std::string path = chosen ? chosen : "/usr/bin/sqlite3";
  return ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

inline std::string sqlLiteral(std::string_view text) {
  std::string literal = "'";
  for (char c : text) literal += c == '\'' ? std::string("''") : std::string(1, c);
  return literal + "'";
}

// directSearch's statement as one line of shell input, its values inlined.
inline std::string shellSearch(const std::string& query) {
  return std::string(kSearchColumns) + sqlLiteral(SearchIndex::buildMatchQuery(query)) +
         kSearchOrder + std::to_string(kSearchLimit) + ";\n";
}

// This process's environment with the home and XDG directories moved into
// `home`, so a child never reads or writes the user's own settings.
inline std::vector<std::string> environmentFor(const std::string& home) {
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

// The settings a child started with environmentFor(home) reads. Usage events go
// to a closed local port, never to the real endpoint; without `sendEvents` the
// URL is left empty and (in a build without a compiled-in endpoint) none are sent.
inline void writeSettings(const std::string& home, const std::string& vaultRoot,
                          bool sendEvents = true) {
  std::filesystem::create_directories(home + "/config/corvanta-vault");
  std::ofstream(home + "/config/corvanta-vault/settings.json") << nlohmann::json{
      {"vaultRootPath", vaultRoot},
      {"analytics.captureURL",
       sendEvents ? "http://127.0.0.1:9/capture/" : ""}}.dump();
}

struct Child {
  pid_t pid = -1;             // -1: not started, and both descriptors are closed
  int input = -1;             // the child's standard input
  int output = -1;            // the child's standard output
  Clock::time_point started;  // just before the spawn, after the set-up
};

// Starts `arguments[0]` with standard input and output on pipes and standard
// error discarded. The caller closes both descriptors and waits for the child.
// No arguments start nothing.
inline Child spawnWithPipes(std::vector<std::string> arguments,
                            std::vector<std::string> environment) {
  Child child;
  if (arguments.empty()) return child;
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return child;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return child;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv, envp;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  child.started = Clock::now();
  const bool spawned =
      posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  if (!spawned) {
    ::close(in[1]);
    ::close(out[0]);
    child.pid = -1;
    return child;
  }
  child.input = in[1];
  child.output = out[0];
  return child;
}

}  // namespace corvanta::bench
