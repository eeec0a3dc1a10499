#include "search/search_index.h"

#include <sqlite3.h>
#include <unistd.h>

#include "platform/diagnostics.h"
#include "search/match_query.h"
#include "search/rebuild_state.h"
#include "search/sqlite_statement.h"
#include "vault/page_metadata.h"
#include "vault/text_file.h"

namespace corvanta {
namespace {

// Another process (the application, an MCP server, a hook run) may hold the
// write lock for a moment. Without waiting, an upsert that meets it would fail
// silently and the page would stay unsearchable until the next full rebuild.
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kCreateTable =
    "CREATE VIRTUAL TABLE pages_fts USING fts5(kb, filename, title, domain, url, body, "
    "tokenize='porter unicode61')";

// A page's row lives at a rowid derived from its key (kb, filename). FTS5 has no
// index on its columns, so deleting by "kb = ? AND filename = ?" reads every row
// of the table: each save would scan the whole vault's text, and a rebuild that
// writes by key would take time quadratic in the page count. The rowid is the
// key's 64-bit FNV-1a hash, the same in every process and build.
//
// Two keys sharing a hash (odds of about 1 in 10^9 for a hundred thousand pages)
// would make one page's save replace the other's row, leaving that page
// unsearchable until the next rebuild; removal checks the key, so it never takes
// another page's row.
constexpr const char* kDeleteRow = "DELETE FROM pages_fts WHERE rowid = ?";
constexpr const char* kDeletePage =
    "DELETE FROM pages_fts WHERE rowid = ? AND kb = ? AND filename = ?";
constexpr const char* kInsertRow =
    "INSERT INTO pages_fts (rowid, kb, filename, title, domain, url, body) "
    "VALUES (?, ?, ?, ?, ?, ?, ?)";

constexpr const char* kSearchAll =
    "SELECT kb, filename, title, domain, url, "
    "snippet(pages_fts, 5, '', '', '...', 30) as snippet FROM pages_fts "
    "WHERE pages_fts MATCH ? ORDER BY rank LIMIT ?";
constexpr const char* kSearchInKnowledgeBase =
    "SELECT kb, filename, title, domain, url, "
    "snippet(pages_fts, 5, '', '', '...', 30) as snippet FROM pages_fts "
    "WHERE pages_fts MATCH ? AND kb = ? ORDER BY rank LIMIT ?";
constexpr const char* kCountURL = "SELECT COUNT(*) FROM pages_fts WHERE url = ?";

int64_t rowIdFor(std::string_view kb, std::string_view filename) {
  uint64_t hash = 14695981039346656037ull;
  auto mix = [&hash](unsigned char byte) {
    hash ^= byte;
    hash *= 1099511628211ull;
  };
  for (char c : kb) mix(static_cast<unsigned char>(c));
  mix(0xFF);  // never part of UTF-8 text, so ("ab", "c") and ("a", "bc") differ
  for (char c : filename) mix(static_cast<unsigned char>(c));
  auto rowId = static_cast<int64_t>(hash & 0x7FFFFFFFFFFFFFFFull);
  return rowId == 0 ? 1 : rowId;
}

int32_t userVersion(sqlite3* db) {
  SqliteStatement version(db, "PRAGMA user_version");
  return version.nextRow() ? static_cast<int32_t>(version.integer(0)) : 0;
}

// True when the file exists but is not an SQLite database at all (truncated,
// overwritten by something else).
bool isNotADatabase(sqlite3* db) {
  int rc = sqlite3_exec(db, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  return (rc & 0xFF) == SQLITE_NOTADB;
}

sqlite3* openConnection(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  return db;
}

// Opens the database, replacing a file that is not a database: it holds nothing
// but the index, which is rebuilt when found empty, and kept it would leave
// search broken in every process until someone found and deleted a hidden file.
sqlite3* openDatabase(const std::string& path) {
  sqlite3* db = openConnection(path);
  if (!db || !isNotADatabase(db)) return db;
  sqlite3_close(db);
  for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
  return openConnection(path);
}

}  // namespace

SearchIndex::SearchIndex(const std::string& vaultRoot) : dbPath_(vaultRoot + "/.kest-search.db") {
  std::lock_guard lock(queue_);
  openLocked();
}

SearchIndex::~SearchIndex() {
  statements_.clear();
  sqlite3_close(db_);
}

bool SearchIndex::openLocked() {
  if (db_) return true;
  db_ = openDatabase(dbPath_);
  if (!db_) {
    // Reported once: the open is retried by later operations, and a vault folder
    // that does not exist yet would otherwise print on every search.
    if (!openFailureReported_)
      printDiagnostic("SearchIndex: failed to open database at " + dbPath_);
    openFailureReported_ = true;
    return false;
  }
  executeSql(db_, "PRAGMA journal_mode=WAL");
  if (userVersion(db_) < kSchemaVersion) resetSchemaLocked();
  return true;
}

// Derived data is rebuilt, never migrated: an old or foreign table is dropped
// whole. Other tables in the file are left alone.
void SearchIndex::resetSchemaLocked() {
  SqliteTransaction transaction(db_);
  // Two processes may open a new database at once; the second one to get the
  // write lock finds the work done and must not drop rows already written.
  if (!transaction.begun() || userVersion(db_) >= kSchemaVersion) return;
  recreateTableLocked();
  forgetRebuild(db_);
  executeSql(db_, ("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  transaction.commit();
}

bool SearchIndex::recreateTableLocked() {
  executeSql(db_, "DROP TABLE IF EXISTS pages_fts");
  return executeSql(db_, kCreateTable);
}

void SearchIndex::deleteRowLocked(const std::string& kb, const std::string& filename) {
  SqliteStatement remove(statements_.get(db_, kDeletePage));
  remove.bind(1, rowIdFor(kb, filename)).bind(2, kb).bind(3, filename).run();
}

void SearchIndex::writeRowLocked(const std::string& kb, const std::string& filename,
                                 const std::string& title, const std::string& domain,
                                 const std::string& url, const std::string& body) {
  const int64_t rowId = rowIdFor(kb, filename);
  SqliteStatement(statements_.get(db_, kDeleteRow)).bind(1, rowId).run();
  SqliteStatement insert(statements_.get(db_, kInsertRow));
  insert.bind(1, rowId).bind(2, kb).bind(3, filename).bind(4, title).bind(5, domain).bind(6, url);
  insert.bind(7, body).run();
}

void SearchIndex::upsertPage(const std::string& kb, const std::string& filename,
                             const std::string& title, const std::string& domain,
                             const std::string& url, const std::string& body) {
  std::lock_guard lock(queue_);
  if (!openLocked()) return;
  // One transaction, so that another process upserting the same page cannot
  // interleave its delete and insert with ours and leave two rows.
  SqliteTransaction transaction(db_);
  if (!transaction.begun()) return;
  writeRowLocked(kb, filename, title, domain, url, body);
  transaction.commit();
}

void SearchIndex::removePage(const std::string& kb, const std::string& filename) {
  std::lock_guard lock(queue_);
  if (!openLocked()) return;
  deleteRowLocked(kb, filename);
}

void SearchIndex::removeKnowledgeBase(const std::string& kb) {
  std::lock_guard lock(queue_);
  if (!openLocked()) return;
  SqliteStatement(db_, "DELETE FROM pages_fts WHERE kb = ?").bind(1, kb).run();
}

void SearchIndex::refreshPage(const std::string& kb, const std::string& filename,
                              const std::string& path) {
  std::lock_guard lock(queue_);
  if (!openLocked()) return;
  SqliteTransaction transaction(db_);
  if (!transaction.begun()) return;
  if (auto file = readTextFile(path)) {
    FileMeta meta = parseMetadata(filename, file->text, path);
    writeRowLocked(kb, filename, meta.title, meta.domain, meta.url, stripFrontmatter(file->text));
  } else {
    deleteRowLocked(kb, filename);
  }
  transaction.commit();
}

std::vector<SearchResult> SearchIndex::search(std::string_view query,
                                              const std::optional<std::string>& kb, int32_t limit) {
  if (query.empty()) return {};
  std::string expression = buildMatchQuery(query);
  if (expression.empty()) return {};

  std::lock_guard lock(queue_);
  if (!openLocked()) return {};
  SqliteStatement select(statements_.get(db_, kb ? kSearchInKnowledgeBase : kSearchAll));
  select.bind(1, expression);
  if (kb)
    select.bind(2, *kb).bind(3, limit);
  else
    select.bind(2, limit);

  std::vector<SearchResult> results;
  while (select.nextRow()) {
    SearchResult hit;
    hit.kb = select.text(0);
    hit.filename = select.text(1);
    hit.title = select.text(2);
    hit.domain = select.text(3);
    hit.url = select.text(4);
    hit.matchingLines = matchingLinesFromSnippet(select.text(5));
    results.push_back(std::move(hit));
  }
  return results;
}

int64_t SearchIndex::countPagesWithURL(const std::string& url) {
  std::lock_guard lock(queue_);
  if (!openLocked()) return 0;
  SqliteStatement count(statements_.get(db_, kCountURL));
  count.bind(1, url);
  return count.nextRow() ? count.integer(0) : 0;
}

bool SearchIndex::isEmpty() {
  std::lock_guard lock(queue_);
  if (!openLocked()) return true;
  // Rows left by a rebuild that never finished (its process was killed) are a
  // partial index; without this it would never be completed.
  auto record = readRebuildRecord(db_);
  if (!record || !record->completed) return true;
  // One row answers the question; COUNT(*) would read every page's text, and
  // every process that opens the vault asks.
  SqliteStatement any(db_, "SELECT rowid FROM pages_fts LIMIT 1");
  return !any.nextRow();
}

}  // namespace corvanta
