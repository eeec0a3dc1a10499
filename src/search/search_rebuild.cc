// The full rebuild of the search index from the page files.
//
// It streams: pages are read and written in batches of a few hundred, each batch
// in one transaction, and the index's queue is taken only for a batch's writes.
// Memory stays bounded by the batch, and searches and page updates of this
// process run between batches instead of waiting for the whole vault.
//
// Pages change while a rebuild runs (saves, edits, deletes from this process or
// another one). The table is cleared before the vault is listed, every row is
// written by key (delete, then insert), and a page whose file changed or vanished
// since the rebuild read it is skipped: the update that changed it has written,
// or is about to write, the row that matches the disk.
//
// A rebuild whose process died is resumed by the next one (see rebuild_state.h).
#include <algorithm>
#include <random>
#include <unordered_set>

#include <sqlite3.h>

#include "search/rebuild_state.h"
#include "search/search_index.h"
#include "search/sqlite_statement.h"
#include "vault/folder_entries.h"
#include "vault/kest_file_manager.h"
#include "vault/page_metadata.h"
#include "vault/text_file.h"
#include "vault/vault_names.h"

namespace corvanta {

struct SearchIndex::PageRecord {
  std::string kb;
  std::string filename;
  std::string title;
  std::string domain;
  std::string url;
  std::string body;
  std::string path;
  FileIdentity identity;
};

struct SearchIndex::RebuildPlan {
  std::string token;
  // Pages that already have a row ("kb\xff" "filename") when resuming.
  std::unordered_set<std::string> present;
};

namespace {

std::string pageKey(const std::string& kb, const std::string& filename) {
  return kb + '\xff' + filename;
}

std::string newRebuildToken() {
  std::random_device random;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 32; ++i) token += kHex[random() % 16];
  return token;
}

// Visits the pages of one knowledge base in directory order, except those `skip`
// accepts (checked before the file is read). Names that fail the vault's rules
// and files that cannot be read as UTF-8 are left out.
template <typename Skip, typename Visit>
void forEachPage(const KestFileManager& store, const std::string& kb, Skip skip, Visit visit) {
  std::string folder;
  try {
    folder = store.resolvedPath(kb);
  } catch (const std::exception&) {
    return;
  }
  for (const std::string& filename :
       folderEntryNames(folder).value_or(std::vector<std::string>())) {
    if (!isPageFileName(filename) || skip(filename)) continue;
    std::string path;
    try {
      path = store.resolvedPath(kb, filename);
    } catch (const std::exception&) {
      continue;
    }
    if (auto file = readTextFile(path)) visit(filename, path, std::move(*file));
  }
}

}  // namespace

std::optional<SearchIndex::RebuildPlan> SearchIndex::startRebuild() {
  std::lock_guard lock(queue_);
  if (!openLocked()) return std::nullopt;
  SqliteTransaction transaction(db_);
  if (!transaction.begun()) return std::nullopt;

  RebuildPlan plan;
  auto record = readRebuildRecord(db_);
  if (record && !record->completed) {
    // Resuming: every row was written after the table was cleared, so only the
    // pages without one are still to do.
    plan.token = record->token;
    SqliteStatement keys(db_, "SELECT kb, filename FROM pages_fts");
    while (keys.nextRow()) plan.present.insert(pageKey(keys.text(0), keys.text(1)));
    return plan;
  }
  plan.token = newRebuildToken();
  if (!recordRebuildStarted(db_, plan.token)) return std::nullopt;
  // Emptied by recreating the table: a DELETE would first read back every row
  // to remove its words from the full-text index.
  if (!recreateTableLocked() || !transaction.commit()) return std::nullopt;
  return plan;
}

bool SearchIndex::writeRebuildBatch(const std::vector<PageRecord>& batch, const std::string& token,
                                    bool last) {
  std::lock_guard lock(queue_);
  if (!openLocked()) return false;
  SqliteTransaction transaction(db_);
  if (!transaction.begun()) return false;
  for (const PageRecord& page : batch) {
    // Checked under the write lock: an update of this page either finished
    // before (the file differs, its own row stands) or waits for this commit
    // and then replaces the row written here.
    if (fileIdentity(page.path) != page.identity) continue;
    writeRowLocked(page.kb, page.filename, page.title, page.domain, page.url, page.body);
  }
  if (last && !recordRebuildCompleted(db_, token)) return false;
  return transaction.commit();
}

void SearchIndex::rebuildAll(KestFileManager& store, const SearchRebuildOptions& options) {
  const size_t batchSize = std::max<size_t>(options.batchSize, 1);
  const std::optional<RebuildPlan> plan = startRebuild();
  if (!plan) return;
  const std::string& token = plan->token;

  std::vector<PageRecord> batch;
  size_t written = 0;
  bool failed = false;
  auto flush = [&](bool last) {
    if (failed) return;
    // A batch the database refused (locked past the busy timeout) leaves the
    // rebuild incomplete; it is not marked completed, so a later one resumes it.
    if (!writeRebuildBatch(batch, token, last)) {
      failed = true;
      return;
    }
    written += batch.size();
    batch.clear();
    if (options.afterBatch) options.afterBatch(written);
  };

  for (const KnowledgeBase& kb : store.listKnowledgeBases()) {
    auto alreadyIndexed = [&](const std::string& filename) {
      return plan->present.count(pageKey(kb.name, filename)) > 0;
    };
    forEachPage(store, kb.name, alreadyIndexed,
                [&](const std::string& filename, const std::string& path, TextFile file) {
                  if (failed) return;
                  FileMeta meta = parseMetadata(filename, file.text, path);
                  PageRecord page{
                      kb.name,     filename,     meta.title.empty() ? filename : meta.title,
                      meta.domain, meta.url,     stripFrontmatter(file.text),
                      path,        file.identity};
                  batch.push_back(std::move(page));
                  if (batch.size() >= batchSize) flush(false);
                });
    if (failed) return;
  }
  flush(true);
  if (!failed) mergeSegments();
}

// A rebuild leaves the full-text index in many segments (one per batch, partly
// merged), and a search reads some pages of each: a search that finds little
// costs twice what it does on one segment. The segments are merged into one a
// few hundred pages per transaction, so searches and saves run between steps.
void SearchIndex::mergeSegments() {
  constexpr int kMaxSteps = 10000;  // a bound, should other writers never pause
  for (int step = 0; step < kMaxSteps; ++step) {
    std::lock_guard lock(queue_);
    if (!openLocked()) return;
    const int before = sqlite3_total_changes(db_);
    if (!executeSql(db_, "INSERT INTO pages_fts(pages_fts, rank) VALUES('merge', -500)")) return;
    // A step that changed fewer than two rows found nothing left to merge.
    if (sqlite3_total_changes(db_) - before < 2) return;
  }
}

}  // namespace corvanta
