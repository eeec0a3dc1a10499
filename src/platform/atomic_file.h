// The one way this program writes a file that others may read at the same time.
//
// Both operations write the whole content to a temporary file in the destination's
// folder, fsync it, and only then make it visible, so a reader (another process
// included) sees either nothing, the old file, or the complete new one — never a
// partial file, even after a crash or kill -9.
#pragma once

#include <string>
#include <string_view>

namespace corvanta {

// Replaces (or creates) `path` with `content`: temporary file, fsync, rename.
// Throws std::system_error when any step fails; the previous file then stays.
void writeFileAtomically(const std::string& path, std::string_view content);

// Creates `path` with `content` only if no entry of that name exists. The name is
// claimed with link(2) from the fully written temporary file, which fails when the
// name is taken, so concurrent writers (threads or processes) can never replace
// each other's file. Returns false when the name was taken; throws
// std::system_error for any other failure.
bool createFileExclusively(const std::string& path, std::string_view content);

// Opens a temporary file beside `path`, writes and fsyncs it, and returns its
// path; the caller links or renames it into place. Throws std::system_error.
std::string writeTemporarySibling(const std::string& path, std::string_view content);

// Claims `path` for an existing file `source` (same folder) without ever replacing
// an existing entry: link(2) then unlink of the source. Returns false when `path`
// exists. Throws std::system_error for any other failure.
bool moveWithoutReplacing(const std::string& source, const std::string& path);

}  // namespace corvanta
