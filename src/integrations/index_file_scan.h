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
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

struct IndexFileHit {
  size_t keyword;             // index into the keywords passed in
  std::string_view fileName;  // points into the scanned text
};

// `keywords` are lower-case. Hits come keyword by keyword, lines in file order.
std::vector<IndexFileHit> findIndexFileHits(std::string_view text,
                                            const std::vector<std::string>& keywords);

// Lower-cases `text` as a whole (full Unicode mapping, root locale), cheaply when
// only ASCII letters change: then every byte keeps its offset, which `sameOffsets`
// reports.
std::string lowerCasedText(std::string_view text, bool& sameOffsets);

}  // namespace corvanta
