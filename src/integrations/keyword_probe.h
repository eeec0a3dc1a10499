// Finding where a keyword may occur in text, many bytes at a time.
//
// A position is a candidate when it holds the keyword's first two bytes and,
// where the keyword would end, its last byte. Few positions of ordinary text
// pass all three, and only those are compared with the keyword in full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvanta {

struct KeywordProbe {
  explicit KeywordProbe(std::string_view keyword);  // `keyword` is not empty

  uint8_t first, second, last;
  size_t secondOffset;  // 1, or 0 for a one-byte keyword
  size_t lastOffset;
};

// Text is examined a stride at a time. It must be followed by at least
// kProbeStride + the keyword's length readable bytes.
inline constexpr size_t kProbeStride = 64;

// The start of the first stride at or after `from` (a multiple of kProbeStride)
// that holds a candidate; `size` if none. This is where a scan spends its time.
size_t nextCandidateStride(const char* text, size_t from, size_t size, const KeywordProbe& probe);

// nextCandidateStride with 16-byte vectors only, which every processor has;
// nextCandidateStride uses wider ones where it can.
size_t nextCandidateStridePortable(const char* text, size_t from, size_t size,
                                   const KeywordProbe& probe);

// The candidates of the stride starting at `stride`: bit i for position stride + i.
uint64_t candidatesInStride(const char* text, size_t stride, const KeywordProbe& probe);

}  // namespace corvanta
