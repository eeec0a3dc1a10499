// Finding the pages an index file ("_index.md") names on lines that mention a
// keyword.
//
// An index entry line ends with the page's file name in square brackets:
//
//   - **Kubernetes operators** — Reconcile loops · [kube-20260101-0900.md]
//
// A line counts when its lower-cased text contains the keyword and the text
// between its last "[" and its last "]" (in that order) ends with ".md". Each
// such (keyword, line) pair is one hit for the page.
//
// The hook scans every index file of the vault before each prompt, megabytes on
// a large vault, and nearly every keyword appears nowhere: the scan works
// through the text in cache-sized pieces, tests all keywords in one pass, and
// looks at lines only around actual matches.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

struct IndexFileHit {
  size_t keyword;             // index into the keywords passed in
  std::string_view fileName;  // points into the scanned text
};

// An index file's hits, with copies of the file names they name.
struct ScannedIndexFile {
  struct Hit {
    size_t keyword;
    uint32_t nameOffset;  // the file name is names.substr(nameOffset, nameSize)
    uint32_t nameSize;
  };
  std::string names;
  std::vector<Hit> hits;  // keyword by keyword, lines in file order
};

// The hits of index files' text and of index files on disk, for one set of
// lower-case keywords. Reusing one scanner for every file of a vault reuses its
// buffers: fresh memory costs a page fault per 4 KiB.
class IndexFileScanner {
 public:
  explicit IndexFileScanner(const std::vector<std::string>& keywords);
  ~IndexFileScanner();
  IndexFileScanner(const IndexFileScanner&) = delete;
  IndexFileScanner& operator=(const IndexFileScanner&) = delete;

  // Hits come keyword by keyword, lines in file order. Text that is not valid
  // UTF-8 gives none.
  std::vector<IndexFileHit> findHits(std::string_view text);

  // The hits of the file at `path`, with copies of the file names they name (the
  // file itself is never held in memory whole). Absent when the file cannot be
  // opened or read, is not a regular file, or is not valid UTF-8 — the cases in
  // which the store reads no index either.
  std::optional<ScannedIndexFile> scanFile(const std::string& path);

 private:
  class TextScanner;
  bool scanPieces(int fd);

  std::unique_ptr<TextScanner> text_;
  std::string buffer_;  // the pieces of a file as they are read
  std::vector<IndexFileHit> hits_;
  ScannedIndexFile scanned_;
};

// A scanner's `findHits` for one text.
std::vector<IndexFileHit> findIndexFileHits(std::string_view text,
                                            const std::vector<std::string>& keywords);

}  // namespace corvanta
