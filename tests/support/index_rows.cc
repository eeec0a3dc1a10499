#include "support/index_rows.h"

#include <sqlite3.h>

namespace corvanta::test {
namespace {

std::string column(sqlite3_stmt* statement, int index) {
  const auto* text = sqlite3_column_text(statement, index);
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

}  // namespace

std::vector<IndexRow> readIndexRows(const std::string& dbPath) {
  std::vector<IndexRow> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return rows;
  }
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT kb, filename, title, domain, url, body FROM pages_fts "
                         "ORDER BY rowid",
                         -1, &statement, nullptr) == SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      rows.push_back({column(statement, 0), column(statement, 1), column(statement, 2),
                      column(statement, 3), column(statement, 4), column(statement, 5)});
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

std::map<std::string, int> rowCountsByKey(const std::vector<IndexRow>& rows) {
  std::map<std::string, int> counts;
  for (const IndexRow& row : rows) ++counts[row.kb + "/" + row.filename];
  return counts;
}

std::string querySingleValue(const std::string& dbPath, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string value = "<error>";
  if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
      int rc = sqlite3_step(statement);
      if (rc == SQLITE_ROW)
        value = column(statement, 0);
      else if (rc == SQLITE_DONE)
        value = "<none>";
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return value;
}

bool executeOn(const std::string& dbPath, const std::string& sql) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) == SQLITE_OK;
  if (ok) {
    sqlite3_busy_timeout(db, 5000);
    ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  sqlite3_close(db);
  return ok;
}

}  // namespace corvanta::test
