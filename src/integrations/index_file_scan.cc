#include "integrations/index_file_scan.h"

#include <algorithm>
#include <unordered_map>

#include "platform/unicode_text.h"

namespace corvanta {
namespace {

std::string_view entryFileName(std::string_view line) {
  // The last pair, so that brackets inside a title do not count.
  const size_t open = line.rfind('[');
  const size_t close = line.rfind(']');
  if (open == std::string_view::npos || close == std::string_view::npos || close <= open) {
    return {};
  }
  std::string_view name = line.substr(open + 1, close - open - 1);
  return name.ends_with(".md") ? name : std::string_view();
}

}  // namespace

// Index files are large (a line per page) and nearly all ASCII; their few other
// characters (the dashes and dots of the layout, accents in titles) mostly have
// no lower-case form. Lower-casing character by character equals lower-casing
// the whole text except for a final sigma, which changes and so takes the full
// path. ICU runs once per distinct character instead of once per line.
std::string lowerCasedText(std::string_view text, bool& sameOffsets) {
  std::string lowered(text);
  std::unordered_map<char32_t, bool> unchanged;
  for (size_t offset = 0; offset < lowered.size();) {
    const auto byte = static_cast<unsigned char>(lowered[offset]);
    if (byte < 0x80) {
      // Branch-free: sets the case bit of 'A'..'Z' only.
      lowered[offset] = static_cast<char>(byte | ((static_cast<unsigned>(byte - 'A') < 26u) << 5));
      ++offset;
      continue;
    }
    const size_t start = offset;
    const char32_t c = nextCodePoint(text, offset);
    auto [verdict, added] = unchanged.try_emplace(c);
    if (added)
      verdict->second =
          toLowerCase(text.substr(start, offset - start)) == text.substr(start, offset - start);
    if (!verdict->second) {
      sameOffsets = false;
      return toLowerCase(text);
    }
  }
  sameOffsets = true;
  return lowered;
}

std::vector<IndexFileHit> findIndexFileHits(std::string_view text,
                                            const std::vector<std::string>& keywords) {
  bool sameOffsets = false;
  const std::string lowered = lowerCasedText(text, sameOffsets);
  const std::string_view haystack(lowered);
  // Most keywords of a prompt appear in no index file at all.
  if (std::none_of(keywords.begin(), keywords.end(), [&](const std::string& keyword) {
        return !keyword.empty() && haystack.find(keyword) != std::string_view::npos;
      })) {
    return {};
  }

  // Only lines that name a page can give hits. Lower-casing never adds, removes
  // or alters a line break, so the lines of the lowered text match the lines of
  // the text one for one.
  struct Entry {
    size_t begin, end;  // the line's byte range in the lowered text
    std::string_view fileName;
  };
  std::vector<Entry> entries;
  const std::vector<std::string_view> lines = splitLines(text);
  std::vector<std::string_view> loweredLines;
  if (!sameOffsets) loweredLines = splitLines(haystack);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view name = entryFileName(lines[i]);
    if (name.empty()) continue;
    const std::string_view line = sameOffsets               ? lines[i]
                                  : i < loweredLines.size() ? loweredLines[i]
                                                            : std::string_view();
    const size_t begin = static_cast<size_t>(line.data() - (sameOffsets ? text : haystack).data());
    entries.push_back({begin, begin + line.size(), name});
  }
  if (entries.empty()) return {};

  // Keywords hold no line break, so each occurrence lies within one line; the
  // line is found among the entries by its start. A line counts once however
  // often it mentions the keyword.
  std::vector<IndexFileHit> hits;
  for (size_t k = 0; k < keywords.size(); ++k) {
    const std::string& keyword = keywords[k];
    if (keyword.empty()) continue;
    const Entry* last = nullptr;
    for (size_t offset = haystack.find(keyword); offset != std::string_view::npos;
         offset = haystack.find(keyword, offset + 1)) {
      auto next = std::upper_bound(entries.begin(), entries.end(), offset,
                                   [](size_t value, const Entry& e) { return value < e.begin; });
      if (next == entries.begin()) continue;
      const Entry& entry = *(next - 1);
      if (&entry == last || offset + keyword.size() > entry.end) continue;
      last = &entry;
      hits.push_back({k, entry.fileName});
    }
  }
  return hits;
}

}  // namespace corvanta
