// Reads the search database behind the index's back, for tests that check which
// rows exist (duplicates included), not only what a search returns.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace corvanta::test {

struct IndexRow {
  std::string kb;
  std::string filename;
  std::string title;
  std::string domain;
  std::string url;
  std::string body;
};

// Every row of pages_fts, in rowid order; empty when the database cannot be read.
std::vector<IndexRow> readIndexRows(const std::string& dbPath);

// Rows per "kb/filename" key: a sound index has exactly one per page.
std::map<std::string, int> rowCountsByKey(const std::vector<IndexRow>& rows);

// One statement on its own connection; the first column of the first row as
// text, or "<error>" when it fails, or "<none>" when there is no row.
std::string querySingleValue(const std::string& dbPath, const std::string& sql);

// Runs statements on their own connection; false on failure.
bool executeOn(const std::string& dbPath, const std::string& sql);

}  // namespace corvanta::test
