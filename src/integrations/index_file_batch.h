// IndexFileBatch: the index files of every knowledge base, scanned by whichever
// threads have time for them.
//
// The hook scans all index files and runs its full-text searches before each
// prompt. Neither has to wait for the other, and on two cores the scan alone
// (megabytes of text on a large vault) outlasts the searches that find little:
// so one thread starts on the files at once, and the thread that ran the
// searches takes the files still left when it is done. A file is scanned by
// one thread, whole; the results are read in listing order once every thread
// has left `scanSome`, so they are the same whoever scanned what.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "integrations/index_file_scan.h"

namespace corvanta {

class KestFileManager;

class IndexFileBatch {
 public:
  struct Entry {
    std::string kb;
    std::optional<ScannedIndexFile> scanned;  // absent: no index file, or unreadable
  };

  // Lists nothing yet: the first thread in `scanSome` lists the knowledge bases.
  IndexFileBatch(const KestFileManager& fileManager, const std::vector<std::string>& keywords);

  // Scans files nobody has taken yet until none is left. Safe to call from
  // several threads at once; never throws (a failure is kept for `entries`).
  void scanSome() noexcept;

  // Every knowledge base with its scan, in listing order. Only once every call
  // of `scanSome` has returned; rethrows a failure of any of them.
  std::vector<Entry>& entries();

 private:
  void list();

  const KestFileManager& fileManager_;
  const std::vector<std::string>& keywords_;
  std::once_flag listed_;
  std::vector<Entry> entries_;
  std::vector<std::string> paths_;  // by entry; empty: no valid path
  std::atomic<size_t> next_{0};
  std::mutex failureMutex_;
  std::exception_ptr failure_;
};

}  // namespace corvanta
