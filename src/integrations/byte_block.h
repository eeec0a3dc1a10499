// Sixteen bytes at a time: every x86-64 and ARMv8 processor has vectors this
// wide, and the compiler maps operations on this type straight onto them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvanta {

using ByteBlock = uint8_t __attribute__((vector_size(16)));
inline constexpr size_t kByteBlockSize = sizeof(ByteBlock);

inline ByteBlock loadByteBlock(const char* bytes) {
  ByteBlock block;
  std::memcpy(&block, bytes, sizeof block);
  return block;
}

inline bool anyByteSet(ByteBlock block) {
  uint64_t words[2];
  std::memcpy(words, &block, sizeof words);
  return (words[0] | words[1]) != 0;
}

// Bit i set when byte i of `block` has its top bit set (as comparison results
// and bytes of characters beyond ASCII do).
inline uint32_t topBitMask(ByteBlock block) {
#if defined(__SSE2__)
  return static_cast<uint32_t>(_mm_movemask_epi8(reinterpret_cast<__m128i>(block)));
#else
  uint8_t lanes[sizeof block];
  std::memcpy(lanes, &block, sizeof lanes);
  uint32_t bits = 0;
  for (size_t lane = 0; lane < sizeof lanes; ++lane) bits |= uint32_t{lanes[lane] >> 7} << lane;
  return bits;
#endif
}

}  // namespace corvanta
