#include "integrations/keyword_probe.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>

namespace corvanta {
namespace {

// Every position where the keyword's first two bytes and its last byte sit,
// found byte by byte.
std::vector<size_t> expectedCandidates(const std::string& text, size_t size,
                                       const std::string& keyword) {
  std::vector<size_t> positions;
  for (size_t i = 0; i < size; ++i) {
    const size_t second = std::min<size_t>(1, keyword.size() - 1);
    if (text[i] == keyword[0] && text[i + second] == keyword[second] &&
        text[i + keyword.size() - 1] == keyword.back()) {
      positions.push_back(i);
    }
  }
  return positions;
}

template <typename NextStride>
std::vector<size_t> probedCandidates(const std::string& text, size_t size,
                                     const KeywordProbe& probe, NextStride next) {
  std::vector<size_t> positions;
  for (size_t stride = next(text.data(), 0, size, probe); stride < size;
       stride = next(text.data(), stride + kProbeStride, size, probe)) {
    for (uint64_t bits = candidatesInStride(text.data(), stride, probe); bits != 0;
         bits &= bits - 1) {
      const size_t position = stride + static_cast<size_t>(std::countr_zero(bits));
      if (position < size) positions.push_back(position);
    }
  }
  return positions;
}

// Both widths find exactly the candidates a byte-by-byte search finds, at
// stride edges and text ends too, in text dense with near misses.
TEST(KeywordProbeTest, BothWidthsFindEveryCandidate) {
  std::mt19937 random(7);
  for (const std::string keyword :
       {"a", "ab", "aab", "abcab", "react", "bbbbbbbbbbbbbbbbbbbbbbbbbbba"}) {
    for (size_t size : {1u, 63u, 64u, 65u, 200u, 1000u}) {
      std::string text(size + kProbeStride + keyword.size(), '\0');  // zero padding
      std::uniform_int_distribution<int> letter('a', 'c');
      for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(letter(random));
      const KeywordProbe probe(keyword);
      const std::vector<size_t> expected = expectedCandidates(text, size, keyword);
      EXPECT_EQ(probedCandidates(text, size, probe, nextCandidateStride), expected)
          << keyword << " in " << size << " bytes";
      EXPECT_EQ(probedCandidates(text, size, probe, nextCandidateStridePortable), expected)
          << keyword << " in " << size << " bytes";
    }
  }
}

}  // namespace
}  // namespace corvanta
