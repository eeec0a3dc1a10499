// StatementCache: the prepared statements of one SQLite connection, kept from
// one use to the next. Preparing the search SELECT costs about as much as
// running it when the query finds little, and a search runs on every prompt.
//
// Statements are keyed by the address of their SQL text, so callers pass string
// literals (or other text that lives as long as the cache). SQLite re-prepares a
// kept statement by itself when the schema changes (a table dropped and created
// again by a rebuild, in this process or another), so nothing is invalidated
// here. Not thread-safe: the owner serialises use, as it does for the connection.
#pragma once

#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace corvanta {

class StatementCache {
 public:
  StatementCache() = default;
  ~StatementCache();
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // The statement for `sql` on `db`, prepared on first use; null when it cannot
  // be prepared (then the next call tries again).
  sqlite3_stmt* get(sqlite3* db, const char* sql);

  // Finalizes every statement. Must run before the connection is closed:
  // sqlite3_close refuses a connection that still has statements.
  void clear();

 private:
  std::vector<std::pair<const char*, sqlite3_stmt*>> statements_;
};

}  // namespace corvanta
