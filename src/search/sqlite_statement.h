// A thin layer over SQLite's C interface for the search index: one prepared
// statement with its bindings and columns, finalized when it goes out of scope,
// and a transaction guard.
//
// Nothing here throws. A statement that fails to prepare reports !ok(), binds
// nothing and steps to an error, so callers test once and return their empty
// answer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace corvanta {

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, std::string_view sql);
  // Borrows a statement kept prepared elsewhere (a StatementCache): it is reset
  // and its bindings cleared, not finalized, when this goes out of scope. Null
  // behaves like a statement that failed to prepare.
  explicit SqliteStatement(sqlite3_stmt* cached) : statement_(cached), owned_(false) {}
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  bool ok() const { return statement_ != nullptr; }

  // Parameters are numbered from 1, as in SQL.
  SqliteStatement& bind(int index, std::string_view text);
  SqliteStatement& bind(int index, int32_t value);
  SqliteStatement& bind(int index, int64_t value);

  // True when a row is available (SQLITE_ROW).
  bool nextRow();
  // Steps to the end; true when the statement finished without an error.
  bool run();

  std::string text(int column) const;
  int64_t integer(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
  bool owned_ = true;
};

// Runs one or more statements without results; true on success.
bool executeSql(sqlite3* db, const char* sql);

// BEGIN IMMEDIATE on construction (waiting for other writers up to the
// connection's busy timeout); rolls back on destruction unless committed. Taking
// the write lock up front means the statements inside never fail half-way for
// want of it.
class SqliteTransaction {
 public:
  explicit SqliteTransaction(sqlite3* db);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;

  bool begun() const { return begun_; }
  bool commit();

 private:
  sqlite3* db_;
  bool begun_ = false;
  bool finished_ = false;
};

}  // namespace corvanta
