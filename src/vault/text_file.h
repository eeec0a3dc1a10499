// Reading a vault file whole as UTF-8 text, together with the identity of the
// version that was read.
//
// Every write in the vault replaces a file by renaming a new one into place, so
// a changed file is a different inode (or, for writers outside this program, at
// least a new size or modification time). Comparing identities tells whether a
// text read a while ago is still what is on disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvanta {

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modifiedSeconds = 0;
  int64_t modifiedNanoseconds = 0;

  bool operator==(const FileIdentity&) const = default;
};

struct TextFile {
  std::string text;
  FileIdentity identity;
};

// The whole regular file at `path` (symbolic links followed). Absent when it
// cannot be opened or read, is not a regular file, or is not valid UTF-8.
std::optional<TextFile> readTextFile(const std::string& path);

// The identity of what is at `path` now; absent when nothing is there.
std::optional<FileIdentity> fileIdentity(const std::string& path);

}  // namespace corvanta
