// The record of the search index's full rebuild, kept in a small side table
// ("kest_rebuild_state") beside pages_fts in the same database.
//
// A rebuild writes in many transactions, and the process running it may die
// between two of them: a hook run lives for one prompt, and a large vault takes
// longer than that to index. Rows alone cannot tell a finished rebuild from an
// interrupted one, so a rebuild records a token when it clears the table and
// marks that token completed in its last transaction. An index whose record is
// missing or not completed reads as empty.
//
// An interrupted rebuild is resumed, not restarted: the next rebuild keeps the
// token and the rows already written (each was right when written, and later
// changes went through the store) and adds the pages still missing. Short-lived
// processes therefore complete a large index together, run after run, instead
// of each clearing it again. Two processes that rebuild at once share the token
// the same way.
//
// All functions run inside the caller's transaction, with the index's queue held.
#pragma once

#include <optional>
#include <string>

struct sqlite3;

namespace corvanta {

struct RebuildRecord {
  std::string token;
  bool completed = false;
};

// The latest rebuild's record; absent when none was recorded (a new or reset
// database, or one written before the record existed).
std::optional<RebuildRecord> readRebuildRecord(sqlite3* db);
// Creates the table when missing and records `token` as started, not completed.
bool recordRebuildStarted(sqlite3* db, const std::string& token);
// Marks the record completed if `token` is still the latest rebuild's.
bool recordRebuildCompleted(sqlite3* db, const std::string& token);
// Drops the record, so the index reads as never rebuilt (the table was reset).
void forgetRebuild(sqlite3* db);

}  // namespace corvanta
