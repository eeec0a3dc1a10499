// Listing a vault folder without letting a failure escape: the store's listing
// operations are quiet, and a folder that vanishes or turns unreadable half-way
// through a listing must give a result, not an exception.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvanta {

// Names of the entries of `folder` in the order the file system returns them
// (without "." and ".."). Absent when the folder cannot be listed; entries read
// before a later error are returned.
std::optional<std::vector<std::string>> folderEntryNames(const std::string& folder);

}  // namespace corvanta
