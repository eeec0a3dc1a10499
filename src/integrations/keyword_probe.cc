#include "integrations/keyword_probe.h"

#include <algorithm>
#if defined(__x86_64__)
#include <immintrin.h>
#include <sys/platform/x86.h>
#endif

#include "integrations/byte_block.h"

namespace corvanta {
namespace {

// The candidates among the 16 positions of the block at `at`, one byte each.
ByteBlock candidatesInBlock(const char* text, size_t at, const KeywordProbe& probe) {
  return (ByteBlock)(loadByteBlock(text + at) == (ByteBlock){} + probe.first) &
         (ByteBlock)(loadByteBlock(text + at + probe.secondOffset) ==
                     (ByteBlock){} + probe.second) &
         (ByteBlock)(loadByteBlock(text + at + probe.lastOffset) == (ByteBlock){} + probe.last);
}

#if defined(__x86_64__)
// Twice the width where the processor has it (nearly all made since 2013).
__attribute__((target("avx2"))) size_t nextCandidateStrideAvx2(const char* text, size_t from,
                                                               size_t size,
                                                               const KeywordProbe& probe) {
  const __m256i firsts = _mm256_set1_epi8(static_cast<char>(probe.first));
  const __m256i seconds = _mm256_set1_epi8(static_cast<char>(probe.second));
  const __m256i lasts = _mm256_set1_epi8(static_cast<char>(probe.last));
  auto load = [&](size_t at) __attribute__((target("avx2"))) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + at));
  };
  auto candidates = [&](size_t at) __attribute__((target("avx2"))) {
    return _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpeq_epi8(load(at), firsts),
                         _mm256_cmpeq_epi8(load(at + probe.secondOffset), seconds)),
        _mm256_cmpeq_epi8(load(at + probe.lastOffset), lasts));
  };
  static_assert(kProbeStride == 64);
  for (size_t i = from; i < size; i += kProbeStride) {
    const __m256i found = _mm256_or_si256(candidates(i), candidates(i + 32));
    if (!_mm256_testz_si256(found, found)) return i;
  }
  return size;
}
#endif

}  // namespace

KeywordProbe::KeywordProbe(std::string_view keyword)
    : first(static_cast<uint8_t>(keyword.front())),
      second(static_cast<uint8_t>(keyword[std::min<size_t>(1, keyword.size() - 1)])),
      last(static_cast<uint8_t>(keyword.back())),
      secondOffset(std::min<size_t>(1, keyword.size() - 1)),
      lastOffset(keyword.size() - 1) {}

size_t nextCandidateStridePortable(const char* text, size_t from, size_t size,
                                   const KeywordProbe& probe) {
  for (size_t i = from; i < size; i += kProbeStride) {
    ByteBlock found = {};
    for (size_t block = i; block < i + kProbeStride; block += kByteBlockSize) {
      found |= candidatesInBlock(text, block, probe);
    }
    if (anyByteSet(found)) return i;
  }
  return size;
}

size_t nextCandidateStride(const char* text, size_t from, size_t size, const KeywordProbe& probe) {
#if defined(__x86_64__)
  // The C library's record of the processor, made at start-up anyway; the
  // compiler's own check would add a probe of the processor to every start.
  static const bool avx2 = CPU_FEATURE_ACTIVE(AVX2);
  if (avx2) return nextCandidateStrideAvx2(text, from, size, probe);
#endif
  return nextCandidateStridePortable(text, from, size, probe);
}

uint64_t candidatesInStride(const char* text, size_t stride, const KeywordProbe& probe) {
  uint64_t bits = 0;
  for (size_t block = 0; block < kProbeStride / kByteBlockSize; ++block) {
    const ByteBlock found = candidatesInBlock(text, stride + block * kByteBlockSize, probe);
    bits |= uint64_t{topBitMask(found)} << (block * kByteBlockSize);
  }
  return bits;
}

}  // namespace corvanta
