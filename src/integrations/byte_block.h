// Sixteen bytes at a time: every x86-64 and ARMv8 processor has vectors this
// wide, and the compiler maps operations on this type straight onto them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

}  // namespace corvanta
