// The completion record of the search index's full rebuild, kept in a small side
// table ("kest_rebuild_state") beside pages_fts in the same database.
//
// A rebuild writes in many transactions, and the process running it may die
// between two of them (a hook run ends, a kill -9). Rows alone cannot tell a
// finished rebuild from an interrupted one, so each rebuild records a token of
// its own when it starts and marks it completed in its last transaction. An
// index whose record is missing or not completed is treated as empty and rebuilt.
//
// When two rebuilds overlap (two processes found the index empty at once), the
// one that started last owns the record: the earlier one's completion is ignored,
// because the later one cleared the table after the earlier one had written part
// of it.
//
// All functions run inside the caller's transaction, with the index's queue held.
#pragma once

#include <string>

struct sqlite3;

namespace corvanta {

// Creates the table when missing and records `token` as started, not completed.
bool recordRebuildStarted(sqlite3* db, const std::string& token);
// Marks the record completed if `token` is still the latest rebuild's.
bool recordRebuildCompleted(sqlite3* db, const std::string& token);
// True only when the latest rebuild ran to its end.
bool rebuildCompleted(sqlite3* db);
// Makes the record read as "not completed" (the table was reset).
void forgetRebuild(sqlite3* db);

}  // namespace corvanta
