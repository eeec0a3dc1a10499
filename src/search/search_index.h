// SearchIndex: the SQLite FTS5 full-text index of one vault, stored in the vault
// root as ".kest-search.db" and shared by every process that opens the vault
// (write-ahead logging lets readers proceed beside one writer).
//
// The page files stay the only source of truth: the index is derived data, rebuilt
// whenever it is found empty (or a rebuild never completed), and kept current by
// the vault store on every write, edit and delete. Nothing here throws; failures
// give empty answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/statement_cache.h"
#include "vault/records.h"

struct sqlite3;

namespace corvanta {

class KestFileManager;

struct SearchRebuildOptions {
  // Pages read and written per transaction. Bounds the rebuild's memory and how
  // long a search may wait behind it.
  size_t batchSize = 500;
  // Called after each committed batch with the number of pages written so far
  // (progress for tests and benchmarks).
  std::function<void(size_t)> afterBatch;
};

class SearchIndex {
 public:
  static constexpr int32_t kSchemaVersion = 1;

  // Opens (or creates) "<vaultRoot>/.kest-search.db" and resets the table when
  // its schema version is not current. Does not rebuild.
  explicit SearchIndex(const std::string& vaultRoot);
  ~SearchIndex();
  SearchIndex(const SearchIndex&) = delete;
  SearchIndex& operator=(const SearchIndex&) = delete;

  const std::string& dbPath() const { return dbPath_; }

  // Keeps at most one row per (kb, filename): the old row is deleted first.
  void upsertPage(const std::string& kb, const std::string& filename, const std::string& title,
                  const std::string& domain, const std::string& url, const std::string& body);
  void removePage(const std::string& kb, const std::string& filename);
  // Drops every row of one knowledge base (its folder was deleted).
  void removeKnowledgeBase(const std::string& kb);
  // Writes the row of the page at `path` from the file as it is now (metadata
  // parsed from its text), or removes the row when no readable file is there.
  // The file is read under the index's write lock, so when several edits of one
  // page race, the last to finish leaves the row of what is on disk.
  void refreshPage(const std::string& kb, const std::string& filename, const std::string& path);

  // Up to `limit` hits, best first; `kb` restricts to one knowledge base (exact).
  std::vector<SearchResult> search(std::string_view query, const std::optional<std::string>& kb,
                                   int32_t limit);
  // The FTS5 match expression for user text; empty when the text has no words.
  static std::string buildMatchQuery(std::string_view query);

  int64_t countPagesWithURL(const std::string& url);
  // True when the table has no rows, cannot be read, or its last rebuild never
  // completed (a process that died mid-rebuild leaves a partial table).
  bool isEmpty();

  // Re-reads every page of the vault through `store` and replaces the table's
  // contents, in batches so memory stays bounded and searches run between them.
  // A page edited or deleted while the rebuild runs keeps the row its own update
  // gave it; a page is never left with two rows. A rebuild that was interrupted
  // (its process died) is resumed: the pages it already wrote are kept.
  void rebuildAll(KestFileManager& store, const SearchRebuildOptions& options = {});

 private:
  struct PageRecord;
  struct RebuildPlan;

  // The rebuild's own transactions; absent or false when the database refused.
  std::optional<RebuildPlan> startRebuild();
  bool writeRebuildBatch(const std::vector<PageRecord>& batch, const std::string& token, bool last);
  void mergeSegments();

  // Opens the connection when it is not open yet (a vault folder that did not
  // exist at first may exist now). Call with `queue_` held.
  bool openLocked();
  void resetSchemaLocked();
  bool recreateTableLocked();
  void writeRowLocked(const std::string& kb, const std::string& filename, const std::string& title,
                      const std::string& domain, const std::string& url, const std::string& body);
  void deleteRowLocked(const std::string& kb, const std::string& filename);

  std::string dbPath_;
  std::mutex queue_;  // the index's serial queue: every statement runs under it
  sqlite3* db_ = nullptr;
  StatementCache statements_;  // of db_; used under queue_
  bool openFailureReported_ = false;
};

}  // namespace corvanta
