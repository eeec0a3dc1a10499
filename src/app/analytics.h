// Anonymous usage events. Every part of the program that records an event calls
// capture(); it never blocks the caller and never reports a result.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace corvanta {

class Analytics {
 public:
  virtual ~Analytics() = default;
  // Fire and forget, from any thread. `properties` is a JSON object.
  virtual void capture(const std::string& event,
                       const nlohmann::json& properties = nlohmann::json::object()) = 0;
};

// Sends nothing: the hook mode and tests that don't look at events use it.
class NoAnalytics : public Analytics {
 public:
  void capture(const std::string&, const nlohmann::json&) override {}
};

}  // namespace corvanta
