// What a burst of saves costs the derived files (each knowledge base's
// "_index.md" and the vault's "README.md"). Builds a vault, then saves more pages
// through the store the way the HTTP save route does (writeFile, then
// scheduleIndexRefresh of the knowledge base, then scheduleGuideRefresh), and
// prints the wall and CPU time until the derived files are current, the delay
// after the last save, and how many regenerations ran.
//
// Usage: derived_files_bench [vault pages] [saved pages] [knowledge bases saved into]
//        (defaults 10000 1000 1; saves go round-robin into the vault's first
//        knowledge bases, "General" first)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "platform/background_queue.h"
#include "platform/paths.h"
#include "vault/derived_file_scheduler.h"
#include "vault/kest_file_manager.h"
#include "vault/page_metadata.h"
#include "vault/text_file.h"
#include "vault_generator.h"

namespace {

using namespace corvanta;
using namespace corvanta::bench;

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

// A request as the browser extension sends it: file name, text and metadata.
struct SaveRequest {
  std::string filename;
  std::string content;
  FileMeta meta;
};

// Pages generated into a staging folder and loaded into memory, so that the
// timed burst only saves.
std::vector<SaveRequest> pagesToSave(const std::string& staging, size_t count) {
  GeneratedVault generated = generateVault(staging, count, 7);
  std::vector<SaveRequest> requests;
  for (const std::string& kb : generated.knowledgeBases) {
    for (const auto& entry : std::filesystem::directory_iterator(staging + "/" + kb)) {
      std::string name = entry.path().filename().string();
      std::optional<TextFile> file = readTextFile(entry.path().string());
      if (!file) continue;
      FileMeta meta = parseMetadata(name, file->text, entry.path().string());
      requests.push_back({name, std::move(file->text), std::move(meta)});
    }
  }
  return requests;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t vaultPages = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
  const size_t savedPages = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
  const size_t targets = argc > 3 ? std::max(1ul, std::strtoul(argv[3], nullptr, 10)) : 1;

  std::string scratch = (std::filesystem::temp_directory_path() / "derived-bench-XXXXXX").string();
  if (!::mkdtemp(scratch.data())) return 1;
  const std::string root = scratch + "/vault";
  Paths paths(scratch, scratch + "/config", scratch + "/data");
  auto store = std::make_shared<KestFileManager>(root, paths, BackgroundQueue::shared());

  GeneratedVault vault = generateVault(root, vaultPages, 42);
  std::vector<SaveRequest> requests = pagesToSave(scratch + "/staging", savedPages);
  const std::string& largest = vault.knowledgeBases.front();
  std::printf("vault: %zu pages in %zu knowledge bases, %.1f MB\n", vault.pageCount,
              vault.knowledgeBases.size(), double(vault.totalBytes) / 1e6);
  std::printf("one guide regeneration: %.3f s (best of 3)\n",
              bestOfThree([&] { store->generateGuide(); }));
  std::printf("one index regeneration of %s (%zu pages): %.3f s (best of 3)\n", largest.c_str(),
              store->listFiles(largest).size(),
              bestOfThree([&] { store->generateIndex(largest); }));
  store->searchIndex();  // built before the burst, as in a running application
  BackgroundQueue::shared().waitUntilIdle(std::chrono::minutes(10));

  const uint64_t runsBefore = store->derivedFiles().regenerationsRun();
  const double cpuBefore = processCpuSeconds();
  const auto start = Clock::now();
  for (size_t i = 0; i < requests.size(); ++i) {
    const std::string& kb =
        vault.knowledgeBases[i % std::min(targets, vault.knowledgeBases.size())];
    const SaveRequest& request = requests[i];
    store->writeFile(kb, request.filename, request.content, request.meta);
    store->scheduleIndexRefresh(kb);
    store->scheduleGuideRefresh();
  }
  const double savesDone = secondsSince(start);
  const auto lastSave = Clock::now();
  const bool idle = store->waitForRefreshes(std::chrono::minutes(10));
  const double afterLastSave = secondsSince(lastSave);
  const double total = secondsSince(start);
  const double cpu = processCpuSeconds() - cpuBefore;
  const uint64_t runs = store->derivedFiles().regenerationsRun() - runsBefore;

  std::printf("burst: %zu saves into %zu knowledge base(s), %.3f s\n", requests.size(),
              std::min(targets, vault.knowledgeBases.size()), savesDone);
  std::printf("derived files current %.3f s after the last save%s (target < 2 s)\n", afterLastSave,
              idle ? "" : " (NOT IDLE)");
  std::printf("total: wall %.3f s, cpu %.3f s (whole process: saves, search index, refreshes)\n",
              total, cpu);
  std::printf("regenerations run: %llu (target < 100)\n", static_cast<unsigned long long>(runs));

  // The figures only count when the files really are current.
  auto index = store->readIndex(largest);
  std::string heading =
      "# " + largest + " \u2014 " + std::to_string(store->listFiles(largest).size()) + " pages\n";
  auto guide = store->readGuide();
  int64_t totalPages = 0;
  for (const KnowledgeBase& kb : store->listKnowledgeBases()) totalPages += kb.fileCount;
  std::string milestone = "**" + std::to_string(totalPages) + " pages saved**";
  std::printf("index current: %s; guide current: %s\n",
              index && index->find(heading) != std::string::npos ? "yes" : "NO",
              guide && guide->find(milestone) != std::string::npos ? "yes" : "NO");

  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return 0;
}
