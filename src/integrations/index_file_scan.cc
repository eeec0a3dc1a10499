#include "integrations/index_file_scan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "integrations/byte_block.h"
#include "integrations/keyword_probe.h"
#include "platform/unicode_text.h"

namespace corvanta {
namespace {

// Lower-cased text is followed by this many zero bytes (and the longest
// keyword's length) for the probe's loads that run past its end.
constexpr size_t kPadding = kProbeStride;

// Read this much of a file at a time: the lower-cased piece stays in the
// processor's fastest cache while every keyword is looked for.
constexpr size_t kPieceSize = 32 * 1024;

// The text is lowered and its characters beyond ASCII are found this many
// bytes at a time: one bit per byte in a 64-bit word.
constexpr size_t kChunkSize = 64;

// Copies `size` bytes with every ASCII capital lower-cased, and sets bit i of
// highBytes[i / 64] when byte i is not ASCII (a byte of another character,
// 0x80 or above, which never changes). True when any bit is set.
bool lowerAsciiLetters(const char* in, char* out, size_t size, std::vector<uint64_t>& highBytes) {
  highBytes.assign((size + kChunkSize - 1) / kChunkSize, 0);
  uint64_t any = 0;
  size_t i = 0;
  for (; i + kChunkSize <= size; i += kChunkSize) {
    uint64_t high = 0;
    for (size_t b = 0; b < kChunkSize; b += kByteBlockSize) {
      ByteBlock block = loadByteBlock(in + i + b);
      const ByteBlock capital = (ByteBlock)((ByteBlock)(block - 'A') < 26);
      high |= uint64_t{topBitMask(block)} << b;
      block |= capital & 0x20;
      std::memcpy(out + i + b, &block, sizeof block);
    }
    highBytes[i / kChunkSize] = high;
    any |= high;
  }
  for (; i < size; ++i) {
    const auto c = static_cast<unsigned char>(in[i]);
    out[i] = static_cast<char>(c | (static_cast<unsigned char>(c - 'A') < 26) << 5);
    const uint64_t high = uint64_t{c >= 0x80} << (i % kChunkSize);
    highBytes[i / kChunkSize] |= high;
    any |= high;
  }
  return any != 0;
}

// The line around `offset`, by the same line breaks as `LineSplitter`. The text
// is valid UTF-8, so a break's last byte is recognised by the bytes before it.
std::string_view lineAround(std::string_view text, size_t offset) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  size_t start = offset;
  for (; start > 0; --start) {
    const unsigned char c = byte(start - 1);
    if (c >= 0x0A && c <= 0x0D) break;
    if (c == 0x85 && start >= 2 && byte(start - 2) == 0xC2) break;
    if ((c & 0xFE) == 0xA8 && start >= 3 && byte(start - 2) == 0x80 && byte(start - 3) == 0xE2) {
      break;
    }
  }
  size_t end = offset;
  while (end < text.size() && lineBreakLength(text, end) == 0) ++end;
  return text.substr(start, end - start);
}

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

void orderByKeyword(std::vector<IndexFileHit>& hits) {
  std::stable_sort(hits.begin(), hits.end(), [](const IndexFileHit& a, const IndexFileHit& b) {
    return a.keyword < b.keyword;
  });
}

// Reads into the end of `buffer`; the number of bytes read, 0 at the end of the
// file, -1 on an error.
ssize_t readMore(int fd, std::string& buffer, size_t& filled) {
  buffer.resize(std::max(buffer.size(), filled + kPieceSize));
  for (;;) {
    const ssize_t count = ::read(fd, buffer.data() + filled, buffer.size() - filled);
    if (count < 0 && errno == EINTR) continue;
    if (count > 0) filled += static_cast<size_t>(count);
    return count;
  }
}

void copyHits(const std::vector<IndexFileHit>& hits, ScannedIndexFile& scanned) {
  for (const IndexFileHit& hit : hits) {
    scanned.hits.push_back({hit.keyword, static_cast<uint32_t>(scanned.names.size()),
                            static_cast<uint32_t>(hit.fileName.size())});
    scanned.names += hit.fileName;
  }
}

}  // namespace

// Scans text made of whole lines for the keywords. Lower-casing character by
// character equals lower-casing the whole text, except for a final sigma,
// whose context never reaches past a line break; so text is lower-cased a
// piece or a line at a time.
class IndexFileScanner::TextScanner {
 public:
  explicit TextScanner(const std::vector<std::string>& keywords) {
    for (size_t k = 0; k < keywords.size(); ++k) {
      const std::string& keyword = keywords[k];
      if (keyword.empty()) continue;
      needles_.push_back({keyword, k, KeywordProbe(keyword)});
      longest_ = std::max(longest_, keyword.size());
    }
  }

  // Adds the hits of `text` (whole lines; the last may lack its break) in file
  // order; false, with `hits` unchanged, when the text is not valid UTF-8.
  bool scan(std::string_view text, std::vector<IndexFileHit>& hits) {
    if (needles_.empty()) return isValidUtf8(text);
    lowered_.resize(text.size() + kPadding + longest_);
    const bool nonAscii = lowerAsciiLetters(text.data(), lowered_.data(), text.size(), highBytes_);
    // Zeros after the text: the vector loads may run past its end, and no
    // keyword holds a zero byte.
    std::memset(lowered_.data() + text.size(), 0, kPadding + longest_);
    bool sameOffsets = true;
    if (nonAscii && !checkOtherCharacters(text, sameOffsets)) return false;
    if (sameOffsets) {
      findInLoweredText(text, hits);
    } else {
      findLineByLine(text, hits);
    }
    return true;
  }

 private:
  struct Needle {
    std::string text;
    size_t keyword;
    KeywordProbe probe;
  };

  // Validates the characters beyond ASCII and tells whether lower-casing leaves
  // them all as they are (index files hold few distinct ones: the dashes and
  // dots of the layout, accents in titles; verdicts are remembered). Only the
  // bytes marked in `highBytes_` are looked at.
  bool checkOtherCharacters(std::string_view text, bool& sameOffsets) {
    size_t checked = 0;  // the bytes before this offset belong to checked characters
    for (size_t chunk = 0; chunk < highBytes_.size(); ++chunk) {
      for (uint64_t bits = highBytes_[chunk]; bits != 0; bits &= bits - 1) {
        size_t offset = chunk * kChunkSize + std::countr_zero(bits);
        if (offset < checked) continue;  // a later byte of a character already checked
        if (const size_t known = knownCharacterAt(text, offset)) {
          checked = offset + known;
          continue;
        }
        const size_t length = utf8SequenceLength(text, offset);
        if (length == 0) return false;
        checked = offset + length;
        if (!sameOffsets) continue;
        const std::string_view character = text.substr(offset, length);
        // Keyed by its bytes: a character has one encoding in valid UTF-8.
        auto [verdict, added] = unchanged_.try_emplace(firstBytes(character.data(), length));
        if (added) verdict->second = toLowerCase(character) == character;
        if (verdict->second) {
          remember(character);
        } else {
          sameOffsets = false;  // keep going: the rest must still be valid
        }
      }
    }
    return true;
  }

  // The last two distinct characters found valid and unchanged by lower-casing,
  // compared as raw bytes: an index file repeats the same dash and dot on every
  // line, and equal bytes need neither decoding nor looking up again.
  struct KnownCharacter {
    uint32_t bytes = 0;
    uint32_t mask = 0;
    size_t size = 0;
  };

  static uint32_t firstBytes(const char* text, size_t count) {
    uint32_t word = 0;
    std::memcpy(&word, text, count);
    return word;
  }

  size_t knownCharacterAt(std::string_view text, size_t offset) const {
    if (text.size() - offset < sizeof(uint32_t)) return 0;
    const uint32_t word = firstBytes(text.data() + offset, sizeof word);
    for (const KnownCharacter& known : recent_) {
      if (known.size != 0 && (word & known.mask) == known.bytes) return known.size;
    }
    return 0;
  }

  void remember(std::string_view character) {
    const uint32_t bytes = firstBytes(character.data(), character.size());
    if (recent_[0].bytes == bytes && recent_[0].size == character.size()) return;
    const char ones[sizeof(uint32_t)] = {-1, -1, -1, -1};
    recent_[1] = recent_[0];
    recent_[0] = {bytes, firstBytes(ones, character.size()), character.size()};
  }

  // One keyword at a time, over text that stays in the cache.
  void findInLoweredText(std::string_view text, std::vector<IndexFileHit>& hits) {
    const char* lowered = lowered_.data();
    for (const Needle& needle : needles_) {
      const char* previousLine = nullptr;
      for (size_t stride = nextCandidateStride(lowered, 0, text.size(), needle.probe);
           stride < text.size(); stride = nextCandidateStride(lowered, stride + kProbeStride,
                                                              text.size(), needle.probe)) {
        for (uint64_t bits = candidatesInStride(lowered, stride, needle.probe); bits != 0;
             bits &= bits - 1) {
          addMatch(text, stride + std::countr_zero(bits), needle, previousLine, hits);
        }
      }
    }
  }

  void addMatch(std::string_view text, size_t offset, const Needle& needle,
                const char*& previousLine, std::vector<IndexFileHit>& hits) const {
    if (offset + needle.text.size() > text.size() ||
        std::memcmp(lowered_.data() + offset, needle.text.data(), needle.text.size()) != 0) {
      return;
    }
    // A keyword holds no line break, so the match lies within one line, which
    // counts once however often it mentions the keyword.
    const std::string_view line = lineAround(text, offset);
    if (line.data() == previousLine) return;
    previousLine = line.data();
    const std::string_view name = entryFileName(line);
    if (!name.empty()) hits.push_back({needle.keyword, name});
  }

  // Some character changes its length when lower-cased: lines are lowered one
  // by one, so that each line's matches are still found in that line.
  void findLineByLine(std::string_view text, std::vector<IndexFileHit>& hits) const {
    LineSplitter splitter(text);
    for (std::string_view line; splitter.next(line);) {
      const std::string_view name = entryFileName(line);
      if (name.empty()) continue;
      const std::string lowered = toLowerCase(line);
      for (const Needle& needle : needles_) {
        if (lowered.find(needle.text) != std::string::npos) {
          hits.push_back({needle.keyword, name});
        }
      }
    }
  }

  std::vector<Needle> needles_;
  size_t longest_ = 0;
  std::string lowered_;              // reused: fresh memory costs a page fault per 4 KiB
  std::vector<uint64_t> highBytes_;  // of the text being scanned; reused likewise
  std::unordered_map<uint32_t, bool> unchanged_;
  KnownCharacter recent_[2];
};

IndexFileScanner::IndexFileScanner(const std::vector<std::string>& keywords)
    : text_(std::make_unique<TextScanner>(keywords)) {}

IndexFileScanner::~IndexFileScanner() = default;

std::vector<IndexFileHit> IndexFileScanner::findHits(std::string_view text) {
  std::vector<IndexFileHit> hits;
  if (!text_->scan(text, hits)) return {};
  orderByKeyword(hits);
  return hits;
}

std::optional<ScannedIndexFile> IndexFileScanner::scanFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  const bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && scanPieces(fd);
  ::close(fd);
  if (!ok) return std::nullopt;
  ScannedIndexFile scanned = std::move(scanned_);
  scanned_ = {};
  std::stable_sort(scanned.hits.begin(), scanned.hits.end(),
                   [](const ScannedIndexFile::Hit& a, const ScannedIndexFile::Hit& b) {
                     return a.keyword < b.keyword;
                   });
  return scanned;
}

// Feeds the open file to the text scanner a piece of whole lines at a time.
bool IndexFileScanner::scanPieces(int fd) {
  scanned_ = {};
  size_t filled = 0;
  for (bool atEnd = false; !atEnd;) {
    const ssize_t count = readMore(fd, buffer_, filled);
    if (count < 0) return false;
    atEnd = count == 0;
    // A piece ends after its last "\n", so that no line or character is split.
    const void* lastNewline = filled == 0 ? nullptr : ::memrchr(buffer_.data(), '\n', filled);
    size_t pieceSize = filled;
    if (!atEnd) {
      if (lastNewline == nullptr) continue;  // a line longer than a piece: read on
      pieceSize = static_cast<size_t>(static_cast<const char*>(lastNewline) - buffer_.data()) + 1;
    }
    hits_.clear();
    if (!text_->scan(std::string_view(buffer_.data(), pieceSize), hits_)) return false;
    copyHits(hits_, scanned_);
    std::memmove(buffer_.data(), buffer_.data() + pieceSize, filled - pieceSize);
    filled -= pieceSize;
  }
  return true;
}

std::vector<IndexFileHit> findIndexFileHits(std::string_view text,
                                            const std::vector<std::string>& keywords) {
  return IndexFileScanner(keywords).findHits(text);
}

}  // namespace corvanta
