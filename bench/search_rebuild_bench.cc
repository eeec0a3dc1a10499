// Full-text index figures on a generated vault: rebuild time and peak memory,
// search latency per query class through SearchIndex and through plain sqlite3
// (the difference is this program's own overhead), and how long searches wait
// while a rebuild runs.
//
//   ./search_rebuild_bench [pages=10000] [seed=42]
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "platform/background_queue.h"
#include "platform/paths.h"
#include "search/search_index.h"
#include "vault/kest_file_manager.h"
#include "vault_generator.h"

namespace corvanta {
namespace {

using namespace bench;

// Peak resident set since the last resetPeakMemory(), in MiB.
double peakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return -1;
}

double currentMemoryMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return -1;
}

void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Samples {
  std::vector<double> wall;
  std::vector<double> cpu;
};

Samples timeEach(const std::vector<std::string>& queries, int rounds,
                 const std::function<size_t(const std::string&)>& run) {
  Samples samples;
  for (int round = 0; round < rounds; ++round) {
    for (const std::string& query : queries) {
      auto start = Clock::now();
      double cpuStart = threadCpuMilliseconds();
      run(query);
      samples.cpu.push_back(threadCpuMilliseconds() - cpuStart);
      samples.wall.push_back(millisecondsSince(start));
    }
  }
  return samples;
}

void printLatency(const char* label, const Samples& index, const Samples& direct) {
  Latency wall = summarize(index.wall), cpu = summarize(index.cpu);
  Latency directWall = summarize(direct.wall), directCpu = summarize(direct.cpu);
  std::printf(
      "  %-16s SearchIndex median %7.3f ms p95 %7.3f ms (cpu %7.3f / %7.3f) | "
      "sqlite3 median %7.3f ms p95 %7.3f ms (cpu %7.3f / %7.3f)\n",
      label, wall.median, wall.p95, cpu.median, cpu.p95, directWall.median, directWall.p95,
      directCpu.median, directCpu.p95);
}

int run(size_t pages, uint32_t seed) {
  std::string root = (std::filesystem::temp_directory_path() / "corvanta-bench-XXXXXX").string();
  if (!::mkdtemp(root.data())) return 1;

  auto start = Clock::now();
  GeneratedVault vault = generateVault(root, pages, seed);
  std::printf("vault: %zu pages, %zu knowledge bases, %.1f MiB of markdown, generated in %.0f ms\n",
              vault.pageCount, vault.knowledgeBases.size(), vault.totalBytes / 1048576.0,
              millisecondsSince(start));

  BackgroundQueue queue(1);
  auto store = std::make_shared<KestFileManager>(root, Paths::fromEnvironment(), queue);
  auto index = std::make_unique<SearchIndex>(root);

  double baseline = currentMemoryMiB();
  resetPeakMemory();
  start = Clock::now();
  double cpuStart = threadCpuMilliseconds();
  index->rebuildAll(*store);
  double rebuildCpuMs = threadCpuMilliseconds() - cpuStart;
  double rebuildMs = millisecondsSince(start);
  std::printf(
      "rebuild: %.0f ms wall, %.0f ms cpu (%.0f pages/s wall), peak RSS %.1f MiB "
      "(%.1f MiB above the %.1f MiB before)\n",
      rebuildMs, rebuildCpuMs, pages / (rebuildMs / 1000.0), peakMemoryMiB(),
      peakMemoryMiB() - baseline, baseline);
  std::printf("index: empty=%s, database %.1f MiB\n", index->isEmpty() ? "yes" : "no",
              std::filesystem::file_size(index->dbPath()) / 1048576.0);

  sqlite3* db = nullptr;
  sqlite3_open_v2(index->dbPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);

  std::vector<std::string> oneWord = vault.commonWords;
  for (const auto& word : vault.rareWords) oneWord.push_back(word);
  std::vector<std::string> twoWords;
  for (size_t i = 0; i + 1 < vault.commonWords.size(); ++i) {
    twoWords.push_back(vault.commonWords[i] + " " + vault.commonWords[i + 1]);
  }
  twoWords.push_back(vault.commonWords.front() + " " + vault.rareWords.front());
  std::vector<std::string> noHit = {vault.absentWord,
                                    vault.absentWord + " " + vault.commonWords[0]};

  const int rounds = 20;
  std::printf("search latency (limit 20, %d rounds):\n", rounds);
  struct Class {
    const char* label;
    const std::vector<std::string>* queries;
  } classes[] = {{"one-word prefix", &oneWord}, {"two-word AND", &twoWords}, {"no hit", &noHit}};
  for (const Class& c : classes) {
    auto viaIndex = timeEach(*c.queries, rounds, [&](const std::string& q) {
      return index->search(q, std::nullopt, 20).size();
    });
    auto direct =
        timeEach(*c.queries, rounds, [&](const std::string& q) { return directSearch(db, q); });
    printLatency(c.label, viaIndex, direct);
  }
  sqlite3_close(db);

  // Searches from another thread while the table is rebuilt from scratch: they
  // wait for at most one batch, not for the whole vault.
  std::atomic<bool> done{false};
  std::vector<double> during;
  std::thread searcher([&] {
    while (!done) {
      auto t = Clock::now();
      index->search(vault.commonWords[0], std::nullopt, 20);
      during.push_back(millisecondsSince(t));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  start = Clock::now();
  index->rebuildAll(*store);
  double secondRebuild = millisecondsSince(start);
  done = true;
  searcher.join();
  Latency waiting = summarize(during);
  std::printf("during a %.0f ms rebuild: %zu searches, median %.2f ms, p95 %.2f ms, max %.2f ms\n",
              secondRebuild, during.size(), waiting.median, waiting.p95, waiting.max);

  index.reset();
  store.reset();
  std::filesystem::remove_all(root);
  return 0;
}

}  // namespace
}  // namespace corvanta

int main(int argc, char** argv) {
  size_t pages = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
  uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 42;
  return corvanta::run(pages, seed);
}
