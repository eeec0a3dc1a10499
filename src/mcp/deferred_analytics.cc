#include "mcp/deferred_analytics.h"

namespace corvanta {

void DeferredAnalytics::capture(const std::string& event, const nlohmann::json& properties) {
  std::lock_guard lock(mutex_);
  if (pending_.empty()) oldest_ = std::chrono::steady_clock::now();
  pending_.emplace_back(event, properties);
}

bool DeferredAnalytics::empty() {
  std::lock_guard lock(mutex_);
  return pending_.empty();
}

bool DeferredAnalytics::due(size_t maxHeld, std::chrono::milliseconds maxAge) {
  std::lock_guard lock(mutex_);
  if (pending_.empty()) return false;
  return pending_.size() >= maxHeld || std::chrono::steady_clock::now() - oldest_ >= maxAge;
}

void DeferredAnalytics::flush() {
  std::vector<std::pair<std::string, nlohmann::json>> events;
  {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) return;
    events.swap(pending_);
  }
  // Outside the lock: the target may take its time, and a tool running on
  // another thread may capture meanwhile.
  for (const auto& [event, properties] : events) target_.capture(event, properties);
}

}  // namespace corvanta
