#include "search/statement_cache.h"

#include <sqlite3.h>

namespace corvanta {

StatementCache::~StatementCache() { clear(); }

sqlite3_stmt* StatementCache::get(sqlite3* db, const char* sql) {
  // A handful of statements: a linear scan beats hashing.
  for (const auto& [text, statement] : statements_) {
    if (text == sql) return statement;
  }
  if (!db) return nullptr;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  statements_.emplace_back(sql, statement);
  return statement;
}

void StatementCache::clear() {
  for (const auto& entry : statements_) sqlite3_finalize(entry.second);
  statements_.clear();
}

}  // namespace corvanta
