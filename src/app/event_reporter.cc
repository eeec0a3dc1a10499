#include "app/event_reporter.h"

#include <ctime>

#include "build_config.h"
#include "platform/app_version.h"
#include "platform/random_uuid.h"

namespace corvanta {
namespace {

constexpr char kDistinctIdKey[] = "posthogDistinctId";
constexpr char kInstalledKey[] = "posthogInstalledFired";
constexpr char kCaptureUrlKey[] = "analytics.captureURL";
constexpr std::chrono::seconds kRequestTimeout{60};

// ISO 8601 internet date-time in UTC without a fraction: 2026-07-11T09:29:27Z.
std::string utcTimestamp(std::chrono::system_clock::time_point time) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm parts{};
  ::gmtime_r(&seconds, &parts);
  char text[32];
  size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return std::string(text, length);
}

}  // namespace

EventReporter::EventReporter(SettingsStore& settings) : settings_(settings) {}

EventReporter::~EventReporter() { shutdown(); }

const std::string& EventReporter::captureUrl() {
  std::lock_guard lock(mutex_);
  if (!captureUrl_) {
    std::optional<std::string> configured = settings_.string(kCaptureUrlKey);
    captureUrl_ = configured && !configured->empty() ? *configured : CORVANTA_ANALYTICS_URL;
  }
  return *captureUrl_;
}

void EventReporter::capture(const std::string& event, const nlohmann::json& properties) {
  try {
    const std::string& url = captureUrl();
    if (!parseUrl(url)) return;

    nlohmann::json merged = {
        {"distinct_id", distinctId()}, {"app", "macos"}, {"app_version", appVersion()}};
    if (properties.is_object()) {
      for (const auto& [key, value] : properties.items()) merged[key] = value;
    }
    nlohmann::json body = {{"api_key", CORVANTA_ANALYTICS_KEY},
                           {"event", event},
                           {"properties", std::move(merged)},
                           {"timestamp", utcTimestamp(std::chrono::system_clock::now())}};
    // dump() throws on text that is not UTF-8; such an event is dropped.
    client_.send("POST", url, {{"Content-Type", "application/json"}}, body.dump(), kRequestTimeout);
  } catch (...) {
  }
}

std::string EventReporter::distinctId() {
  std::lock_guard lock(mutex_);
  if (distinctId_) return *distinctId_;
  // Check and create under the settings lock, so that two first events (or two
  // processes starting together) cannot leave the installation with two ids.
  std::string id;
  settings_.update([&](nlohmann::json& all) {
    auto stored = all.find(kDistinctIdKey);
    if (stored != all.end() && stored->is_string()) {
      id = stored->get<std::string>();
      return false;
    }
    id = randomUuid();
    all[kDistinctIdKey] = id;
    return true;
  });
  // Settings that cannot be locked still give this process one stable id.
  if (id.empty()) id = settings_.string(kDistinctIdKey).value_or(randomUuid());
  distinctId_ = id;
  return id;
}

void EventReporter::recordLaunch() {
  bool firstLaunch = false;
  bool locked = settings_.update([&](nlohmann::json& all) {
    auto fired = all.find(kInstalledKey);
    if (fired != all.end() && fired->is_boolean() && fired->get<bool>()) return false;
    all[kInstalledKey] = true;
    firstLaunch = true;
    return true;
  });
  if (!locked && !settings_.flag(kInstalledKey)) firstLaunch = true;
  if (firstLaunch) capture("vault_app_installed");
  capture("vault_app_launched");
}

void EventReporter::shutdown(std::chrono::milliseconds grace) { client_.shutdown(grace); }

}  // namespace corvanta
