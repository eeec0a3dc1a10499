// What a burst of saves costs the derived files (each knowledge base's
// "_index.md" and the vault's "README.md"). Builds a vault, then saves more pages
// through the store the way the HTTP save route does (writeFile, then
// scheduleIndexRefresh of the knowledge base, then scheduleGuideRefresh), and
// prints the wall and CPU time until the derived files are current, the delay
// after the last save, and how many regenerations ran.
//
// Usage: derived_files_bench [vault pages] [saved pages] [knowledge bases saved into]
//        (defaults 10000 1000 1)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/background_queue.h"
#include "platform/paths.h"
#include "vault/derived_file_scheduler.h"
#include "vault/kest_file_manager.h"
#include "vault/page_metadata.h"

namespace {

using Clock = std::chrono::steady_clock;
using corvanta::FileMeta;
using corvanta::KestFileManager;

constexpr int kVaultKnowledgeBases = 20;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

template <typename Work>
double bestOfThree(Work work) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    auto start = Clock::now();
    work();
    best = std::min(best, secondsSince(start));
  }
  return best;
}

// A page as the browser extension saves it: front matter and a few KB of text.
struct GeneratedPage {
  std::string filename;
  std::string content;
  FileMeta meta;
};

GeneratedPage makePage(std::mt19937& random, int number) {
  static const char* kWords[] = {"vault", "search", "graph", "index", "page",  "save",
                                 "local", "model",  "agent", "notes", "query", "source"};
  GeneratedPage page;
  int domain = static_cast<int>(random() % 60);
  char savedAt[32];
  std::snprintf(savedAt, sizeof savedAt, "2026-%02d-%02dT%02d:%02d:00Z",
                static_cast<int>(random() % 12) + 1, static_cast<int>(random() % 28) + 1,
                static_cast<int>(random() % 24), static_cast<int>(random() % 60));
  page.meta.title = "Generated page " + std::to_string(number);
  page.meta.domain = "site" + std::to_string(domain) + ".example";
  page.meta.url = "https://www." + page.meta.domain + "/articles/" + std::to_string(number);
  page.meta.savedAt = savedAt;
  page.filename = "page-" + std::to_string(number) + ".md";
  page.content = "---\ntitle: " + page.meta.title + "\nurl: " + page.meta.url +
                 "\ndomain: " + page.meta.domain + "\nsaved_at: " + page.meta.savedAt +
                 "\n---\n\n# " + page.meta.title + "\n\n";
  for (int line = 0; line < 30; ++line) {
    for (int word = 0; word < 14; ++word) {
      page.content += kWords[random() % std::size(kWords)];
      page.content += ' ';
    }
    page.content += "\n\n";
  }
  return page;
}

void generateVault(const std::string& root, int pages, unsigned seed) {
  std::mt19937 random(seed);
  for (int kb = 0; kb < kVaultKnowledgeBases; ++kb) {
    std::filesystem::create_directories(root + "/KB " + std::to_string(kb));
  }
  for (int i = 0; i < pages; ++i) {
    GeneratedPage page = makePage(random, i);
    std::string path =
        root + "/KB " + std::to_string(i % kVaultKnowledgeBases) + "/" + page.filename;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) continue;
    std::fwrite(page.content.data(), 1, page.content.size(), file);
    std::fclose(file);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int vaultPages = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int savedPages = argc > 2 ? std::atoi(argv[2]) : 1000;
  const int targetKnowledgeBases = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;

  std::string scratch = (std::filesystem::temp_directory_path() / "derived-bench-XXXXXX").string();
  if (!::mkdtemp(scratch.data())) return 1;
  const std::string root = scratch + "/vault";
  corvanta::Paths paths(scratch, scratch + "/config", scratch + "/data");
  auto store = std::make_shared<KestFileManager>(root, paths, corvanta::BackgroundQueue::shared());

  generateVault(root, vaultPages, 42);
  std::printf("one guide regeneration (%d pages): %.3f s (best of 3)\n", vaultPages,
              bestOfThree([&] { store->generateGuide(); }));
  std::printf("one index regeneration (%d pages): %.3f s (best of 3)\n",
              vaultPages / kVaultKnowledgeBases,
              bestOfThree([&] { store->generateIndex("KB 0"); }));
  store->searchIndex();  // created before the burst, as in a running application
  corvanta::BackgroundQueue::shared().waitUntilIdle(std::chrono::minutes(10));

  std::mt19937 random(7);
  const uint64_t runsBefore = store->derivedFiles().regenerationsRun();
  const double cpuBefore = cpuSeconds();
  auto start = Clock::now();
  for (int i = 0; i < savedPages; ++i) {
    GeneratedPage page = makePage(random, vaultPages + i);
    std::string kb = "Import " + std::to_string(i % targetKnowledgeBases);
    store->writeFile(kb, page.filename, page.content, page.meta);
    store->scheduleIndexRefresh(kb);
    store->scheduleGuideRefresh();
  }
  const double savesDone = secondsSince(start);
  auto lastSave = Clock::now();
  bool idle = store->waitForRefreshes(std::chrono::minutes(10));
  const double afterLastSave = secondsSince(lastSave);
  const double total = secondsSince(start);
  const double cpu = cpuSeconds() - cpuBefore;
  const uint64_t runs = store->derivedFiles().regenerationsRun() - runsBefore;

  std::printf("saved %d pages into %d knowledge base(s) of a %d-page vault\n", savedPages,
              targetKnowledgeBases, vaultPages);
  std::printf("saves: %.3f s; derived files current %.3f s after the last save%s\n", savesDone,
              afterLastSave, idle ? "" : " (NOT IDLE)");
  std::printf("total: wall %.3f s, cpu %.3f s (process, saves included)\n", total, cpu);
  std::printf("regenerations run: %llu (target < 100)\n", static_cast<unsigned long long>(runs));

  auto index = store->readIndex("Import 0");
  std::string expected =
      " \u2014 " + std::to_string((savedPages + targetKnowledgeBases - 1) / targetKnowledgeBases) +
      " pages\n";
  std::printf("index of Import 0 current: %s\n",
              index && index->find(expected) != std::string::npos ? "yes" : "NO");

  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return 0;
}
