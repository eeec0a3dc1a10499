// An Analytics that keeps every event, for tests that check what was sent.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/analytics.h"

namespace corvanta::test {

class RecordingAnalytics : public Analytics {
 public:
  void capture(const std::string& event, const nlohmann::json& properties) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.emplace_back(event, properties);
  }

  std::vector<std::pair<std::string, nlohmann::json>> events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, nlohmann::json>> events_;
};

}  // namespace corvanta::test
