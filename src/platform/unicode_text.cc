#include "platform/unicode_text.h"

#include <cstring>

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

#include "platform/icu_defaults.h"

namespace corvanta {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A break iterator holds the text it walks, so each thread keeps its own.
icu::BreakIterator* graphemeIterator() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> created(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    return U_SUCCESS(status) ? std::move(created) : nullptr;
  }();
  return iterator.get();
}

// Runs `walk` over the grapheme boundaries of `text`; offsets are UTF-8 byte
// offsets because the iterator reads the UTF-8 directly through a UText.
template <typename Walk>
void walkGraphemes(std::string_view text, Walk walk) {
  icu::BreakIterator* iterator = graphemeIterator();
  UErrorCode status = U_ZERO_ERROR;
  UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  if (iterator == nullptr || U_FAILURE(status)) {
    utext_close(utext);
    return;
  }
  iterator->setText(utext, status);
  // The iterator keeps its own shallow clone of the UText, which still points
  // into `text` afterwards; every use sets new text first, so it is never read.
  if (U_SUCCESS(status)) walk(*iterator);
  utext_close(utext);
}

icu::UnicodeString fromUtf8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// Decodes the code point that ends at `end` and moves `end` to its start.
char32_t previousCodePoint(std::string_view text, size_t& end) {
  size_t window = std::min<size_t>(end, U8_MAX_LENGTH);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data() + end - window);
  int32_t index = static_cast<int32_t>(window);
  UChar32 c;
  U8_PREV_OR_FFFD(bytes, 0, index, c);
  end -= window - static_cast<size_t>(index);
  return static_cast<char32_t>(c);
}

// Bytes taken by the line-break character at `i`, or 0: LF, VT, FF, CR, and
// in UTF-8 NEL (C2 85), LS (E2 80 A8) and PS (E2 80 A9).

bool isPunctuation(char32_t c) { return u_ispunct(static_cast<UChar32>(c)); }

}  // namespace

size_t lineBreakLength(std::string_view text, size_t i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  if (c >= 0x0A && c <= 0x0D) return 1;
  auto byteAt = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  if (c == 0xC2 && i + 1 < text.size() && byteAt(i + 1) == 0x85) return 2;
  if (c == 0xE2 && i + 2 < text.size() && byteAt(i + 1) == 0x80 && (byteAt(i + 2) & 0xFE) == 0xA8) {
    return 3;
  }
  return 0;
}

bool isValidUtf8(std::string_view text) {
  // Every page read checks its whole text, and pages are mostly ASCII: skip
  // eight ASCII bytes at a time and decode only around the others.
  constexpr uint64_t kHighBits = 0x8080808080808080ULL;
  size_t offset = 0;
  while (offset < text.size()) {
    if (text.size() - offset >= 8) {
      uint64_t word;
      std::memcpy(&word, text.data() + offset, sizeof word);
      if ((word & kHighBits) == 0) {
        offset += 8;
        continue;
      }
    }
    if (static_cast<unsigned char>(text[offset]) < 0x80) {
      ++offset;
      continue;
    }
    const size_t length = utf8SequenceLength(text, offset);
    if (length == 0) return false;
    offset += length;
  }
  return true;
}

size_t utf8SequenceLength(std::string_view text, size_t offset) {
  const size_t window = std::min<size_t>(text.size() - offset, U8_MAX_LENGTH);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data() + offset);
  int32_t index = 0;
  UChar32 c;
  U8_NEXT(bytes, index, static_cast<int32_t>(window), c);
  return c < 0 ? 0 : static_cast<size_t>(index);
}

size_t graphemeCount(std::string_view text) {
  if (isAscii(text)) {
    // Among ASCII characters only CR LF joins into one cluster.
    size_t pairs = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
      if (text[i] == '\r' && text[i + 1] == '\n') ++pairs;
    }
    return text.size() - pairs;
  }
  size_t count = 0;
  walkGraphemes(text, [&](icu::BreakIterator& iterator) {
    iterator.first();
    while (iterator.next() != icu::BreakIterator::DONE) ++count;
  });
  return count;
}

std::string graphemePrefix(std::string_view text, size_t count) {
  // ASCII fast path: stop at the first non-ASCII byte, because a combining mark
  // after an ASCII letter belongs to the letter's cluster.
  size_t offset = 0;
  size_t taken = 0;
  while (taken < count && offset < text.size() && static_cast<unsigned char>(text[offset]) < 0x80) {
    bool crlf = text[offset] == '\r' && offset + 1 < text.size() && text[offset + 1] == '\n';
    offset += crlf ? 2 : 1;
    ++taken;
  }
  if (offset == text.size()) return std::string(text);
  if (taken == count && static_cast<unsigned char>(text[offset]) < 0x80) {
    return std::string(text.substr(0, offset));
  }
  size_t end = text.size();
  walkGraphemes(text, [&](icu::BreakIterator& iterator) {
    int32_t boundary = iterator.first();
    for (size_t i = 0; i < count; ++i) {
      boundary = iterator.next();
      if (boundary == icu::BreakIterator::DONE) return;
    }
    end = static_cast<size_t>(boundary);
  });
  return std::string(text.substr(0, end));
}

std::string toLowerCase(std::string_view text) {
  if (isAscii(text)) {
    std::string out(text);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  icu::UnicodeString unicode = fromUtf8(text);
  unicode.toLower(icu::Locale::getRoot());
  return toUtf8(unicode);
}

std::string uppercaseFirstCharacter(std::string_view text) {
  if (text.empty()) return {};
  bool asciiCluster = static_cast<unsigned char>(text[0]) < 0x80 &&
                      (text.size() == 1 || static_cast<unsigned char>(text[1]) < 0x80);
  if (asciiCluster) {
    std::string out(text);
    if (out[0] >= 'a' && out[0] <= 'z') out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
  }
  std::string first = graphemePrefix(text, 1);
  icu::UnicodeString unicode = fromUtf8(first);
  unicode.toUpper(icu::Locale::getRoot());
  return toUtf8(unicode) + std::string(text.substr(first.size()));
}

std::string trimPunctuation(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t next = begin;
    if (!isPunctuation(nextCodePoint(text, next))) break;
    begin = next;
  }
  size_t end = text.size();
  while (end > begin) {
    size_t previous = end;
    if (!isPunctuation(previousCodePoint(text, previous))) break;
    end = previous;
  }
  return std::string(text.substr(begin, end - begin));
}

bool isAlphanumeric(char32_t codePoint) {
  return (U_GET_GC_MASK(static_cast<UChar32>(codePoint)) &
          (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

bool isLetterOrNumber(char32_t codePoint) {
  return (U_GET_GC_MASK(static_cast<UChar32>(codePoint)) & (U_GC_L_MASK | U_GC_N_MASK)) != 0;
}

std::string_view trimSpacesAndTabs(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return text.substr(text.size());
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end + 1 - begin);
}

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t next = begin;
    if (!u_isUWhiteSpace(static_cast<UChar32>(nextCodePoint(text, next)))) break;
    begin = next;
  }
  size_t end = text.size();
  while (end > begin) {
    size_t previous = end;
    if (!u_isUWhiteSpace(static_cast<UChar32>(previousCodePoint(text, previous)))) break;
    end = previous;
  }
  return text.substr(begin, end - begin);
}

bool LineSplitter::next(std::string_view& line) {
  if (done_) return false;
  for (size_t i = offset_; i < text_.size(); ++i) {
    size_t length = lineBreakLength(text_, i);
    if (length == 0) continue;
    line = text_.substr(offset_, i - offset_);
    offset_ = i + length;
    return true;
  }
  line = text_.substr(offset_);
  done_ = true;
  return true;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> pieces;
  LineSplitter splitter(text);
  std::string_view line;
  while (splitter.next(line)) pieces.push_back(line);
  return pieces;
}

int compareLocalizedCaseInsensitive(std::string_view a, std::string_view b) {
  // Secondary strength: accents still count, letter case does not. A collator
  // is cheap to use but not to build; compare() is const and thread-safe, yet
  // one per thread keeps it free of any process-wide state.
  thread_local std::unique_ptr<icu::Collator> collator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> created(
        icu::Collator::createInstance(userLocale("LC_COLLATE", ""), status));
    if (U_FAILURE(status)) return std::unique_ptr<icu::Collator>();
    created->setStrength(icu::Collator::SECONDARY);
    return created;
  }();
  if (!collator) {
    int result = a.compare(b);
    return (result > 0) - (result < 0);
  }
  UErrorCode status = U_ZERO_ERROR;
  UCollationResult result =
      collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
  return static_cast<int>(result);
}

char32_t nextCodePoint(std::string_view text, size_t& offset) {
  size_t window = std::min<size_t>(text.size() - offset, U8_MAX_LENGTH);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data() + offset);
  int32_t index = 0;
  UChar32 c;
  U8_NEXT_OR_FFFD(bytes, index, static_cast<int32_t>(window), c);
  offset += static_cast<size_t>(index);
  return static_cast<char32_t>(c);
}

void appendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) codePoint = 0xFFFD;
  uint8_t bytes[U8_MAX_LENGTH];
  int32_t length = 0;
  UBool error = false;
  U8_APPEND(bytes, length, U8_MAX_LENGTH, static_cast<UChar32>(codePoint), error);
  (void)error;  // the buffer always has room and the code point is valid
  out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

}  // namespace corvanta
