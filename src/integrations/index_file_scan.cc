#include "integrations/index_file_scan.h"

#include <string.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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

void lowerAsciiLetters(const unsigned char* __restrict in, unsigned char* __restrict out,
                       size_t size) {
  for (size_t i = 0; i < size; ++i) {
    out[i] =
        static_cast<unsigned char>(in[i] | (static_cast<unsigned char>(in[i] - 'A') < 26) << 5);
  }
}

// The offset of the next byte at or after `offset` that is not ASCII, eight
// bytes at a time.
size_t skipAscii(std::string_view text, size_t offset) {
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  for (uint64_t word; offset + sizeof word <= text.size(); offset += sizeof word) {
    std::memcpy(&word, text.data() + offset, sizeof word);
    if (word & kHighBits) break;
  }
  while (offset < text.size() && static_cast<unsigned char>(text[offset]) < 0x80) ++offset;
  return offset;
}

// Faster than searching for the first letter and comparing (the way
// std::string_view::find goes), which stops at every "e" of English text.
size_t findFrom(std::string_view haystack, std::string_view needle, size_t from) {
  if (from > haystack.size()) return std::string_view::npos;
  const void* found =
      ::memmem(haystack.data() + from, haystack.size() - from, needle.data(), needle.size());
  return found == nullptr ? std::string_view::npos
                          : static_cast<size_t>(static_cast<const char*>(found) - haystack.data());
}

}  // namespace

// Index files are large (a line per page) and nearly all ASCII; their few other
// characters (the dashes and dots of the layout, accents in titles) mostly have
// no lower-case form. Lower-casing character by character equals lower-casing
// the whole text except for a final sigma, which changes and so takes the full
// path. ICU runs once per distinct character instead of once per line.
std::string lowerCasedText(std::string_view text, bool& sameOffsets) {
  // First every ASCII capital, in a loop the compiler vectorizes: bytes of
  // other characters are 0x80 or above and so are never changed by it.
  std::string lowered(text.size(), '\0');
  lowerAsciiLetters(reinterpret_cast<const unsigned char*>(text.data()),
                    reinterpret_cast<unsigned char*>(lowered.data()), text.size());

  // Then the other characters. The few distinct ones of an index file recur on
  // every line, so the last verdicts are remembered.
  std::unordered_map<char32_t, bool> unchanged;
  char32_t recent[2] = {0, 0};  // known to be unchanged; 0 is ASCII, never looked up
  for (size_t offset = 0; offset < text.size();) {
    if (static_cast<unsigned char>(text[offset]) < 0x80) {
      offset = skipAscii(text, offset + 1);
      continue;
    }
    const size_t start = offset;
    const char32_t c = nextCodePoint(text, offset);
    if (c == recent[0] || c == recent[1]) continue;
    auto [verdict, added] = unchanged.try_emplace(c);
    if (added) {
      const std::string_view character = text.substr(start, offset - start);
      verdict->second = toLowerCase(character) == character;
    }
    if (!verdict->second) {
      sameOffsets = false;
      return toLowerCase(text);
    }
    recent[1] = recent[0];
    recent[0] = c;
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
        return !keyword.empty() && findFrom(haystack, keyword, 0) != std::string_view::npos;
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
    for (size_t offset = findFrom(haystack, keyword, 0); offset != std::string_view::npos;
         offset = findFrom(haystack, keyword, offset + 1)) {
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
