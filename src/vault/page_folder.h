// Reading the pages of one knowledge-base folder straight from disk, for the
// derived files that are rebuilt from every page (the index file, the guide).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvanta {

// The page file names in `folder` (see isPageFileName), in directory order;
// nothing when the folder cannot be listed.
std::optional<std::vector<std::string>> listPageFileNames(const std::string& folder);

// The whole file at `path` when it can be read and is valid UTF-8.
std::optional<std::string> readUtf8File(const std::string& path);

}  // namespace corvanta
