// DeferredAnalytics: holds the events recorded while a request is answered and
// hands them to the real Analytics only when flush() is called, after the answer
// has been written. Building and posting an event costs about as much as a whole
// cheap search, and the assistant host waits for nothing but the answer.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/analytics.h"

namespace corvanta {

class DeferredAnalytics : public Analytics {
 public:
  explicit DeferredAnalytics(Analytics& target) : target_(target) {}
  // Events still held are passed on, never lost.
  ~DeferredAnalytics() override { flush(); }
  DeferredAnalytics(const DeferredAnalytics&) = delete;
  DeferredAnalytics& operator=(const DeferredAnalytics&) = delete;

  void capture(const std::string& event, const nlohmann::json& properties) override;

  // Passes every held event on, in the order they were captured.
  void flush();

  bool empty();
  // True when `maxHeld` events are held or the oldest was captured `maxAge` ago.
  bool due(size_t maxHeld, std::chrono::milliseconds maxAge);

 private:
  Analytics& target_;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point oldest_;
  std::vector<std::pair<std::string, nlohmann::json>> pending_;
};

}  // namespace corvanta
