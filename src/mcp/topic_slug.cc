#include "mcp/topic_slug.h"

#include "platform/unicode_text.h"

namespace corvanta {

std::string topicSlug(std::string_view topic) {
  std::string lowered = toLowerCase(topic);
  std::string slug;
  slug.reserve(lowered.size());
  size_t offset = 0;
  while (offset < lowered.size()) {
    char32_t codePoint = nextCodePoint(lowered, offset);
    if (codePoint == U' ' || codePoint == U'-') {
      slug += '-';
    } else if (isLetterOrNumber(codePoint)) {
      appendUtf8(slug, codePoint);
    }
  }
  return graphemePrefix(slug, kMaxTopicSlugLength);
}

}  // namespace corvanta
