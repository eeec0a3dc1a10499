#include "search/sqlite_statement.h"

#include <sqlite3.h>

namespace corvanta {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) {
  if (!db) return;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
  }
}

SqliteStatement::~SqliteStatement() {
  if (owned_) {
    sqlite3_finalize(statement_);
  } else if (statement_) {
    // A borrowed statement left mid-step would keep its read transaction open
    // and pin the WAL snapshot; text bound with SQLITE_TRANSIENT is a copy, so
    // clearing only drops that copy early.
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text) {
  if (statement_) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
  }
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, int32_t value) {
  if (statement_) sqlite3_bind_int(statement_, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, int64_t value) {
  if (statement_) sqlite3_bind_int64(statement_, index, value);
  return *this;
}

bool SqliteStatement::nextRow() { return statement_ && sqlite3_step(statement_) == SQLITE_ROW; }

bool SqliteStatement::run() {
  if (!statement_) return false;
  int rc;
  while ((rc = sqlite3_step(statement_)) == SQLITE_ROW) {
  }
  return rc == SQLITE_DONE;
}

std::string SqliteStatement::text(int column) const {
  const auto* data = sqlite3_column_text(statement_, column);
  if (!data) return {};
  return std::string(reinterpret_cast<const char*>(data),
                     static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

int64_t SqliteStatement::integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

bool executeSql(sqlite3* db, const char* sql) {
  return db && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

SqliteTransaction::SqliteTransaction(sqlite3* db) : db_(db) {
  begun_ = executeSql(db_, "BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction() {
  if (begun_ && !finished_) executeSql(db_, "ROLLBACK");
}

bool SqliteTransaction::commit() {
  if (!begun_ || finished_) return false;
  finished_ = true;
  if (executeSql(db_, "COMMIT")) return true;
  // A failed COMMIT leaves the transaction open; end it so the connection stays
  // usable for the next operation.
  executeSql(db_, "ROLLBACK");
  return false;
}

}  // namespace corvanta
