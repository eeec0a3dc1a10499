#include "vault/records.h"

namespace corvanta {

// Placeholder until the page format lands.
double secondsSinceReferenceDate(TimePoint time) {
  using namespace std::chrono;
  return duration<double>(time.time_since_epoch()).count() - 978307200.0;
}
TimePoint fromSecondsSinceReferenceDate(double seconds) {
  using namespace std::chrono;
  return TimePoint(duration_cast<system_clock::duration>(duration<double>(seconds + 978307200.0)));
}
#define CORVANTA_STUB_JSON(T)                        \
  void to_json(nlohmann::json& j, const T&) { j = nlohmann::json::object(); } \
  void from_json(const nlohmann::json&, T&) {}
CORVANTA_STUB_JSON(FileMeta)
CORVANTA_STUB_JSON(SavedFile)
CORVANTA_STUB_JSON(KnowledgeBase)
CORVANTA_STUB_JSON(SearchResult)
CORVANTA_STUB_JSON(WriteFileRequest)
CORVANTA_STUB_JSON(EditFileRequest)
CORVANTA_STUB_JSON(CreateKBRequest)
CORVANTA_STUB_JSON(PingResponse)

}  // namespace corvanta
