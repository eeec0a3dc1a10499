#include "search/rebuild_state.h"

#include "search/sqlite_statement.h"

namespace corvanta {
namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS kest_rebuild_state ("
    "id INTEGER PRIMARY KEY CHECK (id = 1), token TEXT NOT NULL, completed INTEGER NOT NULL)";

}  // namespace

std::optional<RebuildRecord> readRebuildRecord(sqlite3* db) {
  // A missing table fails to prepare and reads as no record.
  SqliteStatement read(db, "SELECT token, completed FROM kest_rebuild_state WHERE id = 1");
  if (!read.nextRow()) return std::nullopt;
  return RebuildRecord{read.text(0), read.integer(1) == 1};
}

bool recordRebuildStarted(sqlite3* db, const std::string& token) {
  if (!executeSql(db, kCreateTable)) return false;
  SqliteStatement record(
      db, "INSERT OR REPLACE INTO kest_rebuild_state (id, token, completed) VALUES (1, ?, 0)");
  return record.bind(1, token).run();
}

bool recordRebuildCompleted(sqlite3* db, const std::string& token) {
  SqliteStatement record(db,
                         "UPDATE kest_rebuild_state SET completed = 1 WHERE id = 1 AND token = ?");
  return record.bind(1, token).run();
}

void forgetRebuild(sqlite3* db) { executeSql(db, "DELETE FROM kest_rebuild_state"); }

}  // namespace corvanta
