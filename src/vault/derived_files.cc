#include "vault/derived_file_scheduler.h"
#include "vault/kest_file_manager.h"

namespace corvanta {

// Placeholder until the derived files land.
DerivedFileScheduler::DerivedFileScheduler(BackgroundQueue& queue) : queue_(queue) {}
void DerivedFileScheduler::schedule(const std::string&, std::function<void()>) {}
bool DerivedFileScheduler::waitUntilIdle(std::chrono::milliseconds) { return true; }
uint64_t DerivedFileScheduler::regenerationsRun() const { return 0; }
void KestFileManager::scheduleIndexRefresh(const std::string&) {}
void KestFileManager::scheduleGuideRefresh() {}
bool KestFileManager::waitForRefreshes(std::chrono::milliseconds) { return true; }
void KestFileManager::generateIndex(const std::string&) const {}
void KestFileManager::generateGuide() const {}
std::string KestFileManager::graphPath() const { return {}; }
KnowledgeGraph KestFileManager::loadGraph() const { return {}; }
std::vector<RelatedPage> KestFileManager::relatedPages(const std::string&,
                                                       const std::string&) const {
  return {};
}
void KestFileManager::addRelation(const std::string&, const std::string&, const std::string&) {}

}  // namespace corvanta
