// The analytics events of the product: one small JSON POST per event to the
// capture endpoint, sent in the background and never reported back.
//
//   {"api_key": ..., "event": ..., "timestamp": "2026-07-11T09:29:27Z",
//    "properties": {"distinct_id": ..., "app": "macos", "app_version": ...,
//                   <the caller's properties, which replace base ones>}}
//
// The endpoint is the compiled-in capture URL unless the settings key
// `analytics.captureURL` names another. There is no batching, queue or retry: an
// event that cannot be sent is lost, and no failure ever reaches the caller.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "app/analytics.h"
#include "platform/http_client.h"
#include "platform/settings_store.h"

namespace corvanta {

class EventReporter : public Analytics {
 public:
  // Cheap: reads no settings and starts no thread until the first event.
  explicit EventReporter(SettingsStore& settings);
  // Gives events still in flight about a second (see shutdown()).
  ~EventReporter() override;
  EventReporter(const EventReporter&) = delete;
  EventReporter& operator=(const EventReporter&) = delete;

  // Returns as soon as the request has been started, from any thread.
  void capture(const std::string& event,
               const nlohmann::json& properties = nlohmann::json::object()) override;

  // The installation's anonymous id, kept under `posthogDistinctId`: a random
  // upper-case UUID made on first use, then stable.
  std::string distinctId();

  // Application start: "vault_app_installed" the first time on this installation
  // (remembered under `posthogInstalledFired`), then "vault_app_launched".
  void recordLaunch();

  // Waits at most `grace` for events in flight, drops the rest and sends nothing
  // afterwards. Process exits call it so that a slow network never holds them up.
  void shutdown(std::chrono::milliseconds grace = std::chrono::seconds(1));

 private:
  const std::string& captureUrl();

  SettingsStore& settings_;
  HttpClient client_;
  std::mutex mutex_;
  std::optional<std::string> captureUrl_;
  std::optional<std::string> distinctId_;
};

}  // namespace corvanta
