// Names and paths inside the vault: what a valid knowledge-base or file name is,
// and how a path is standardized before the containment check.
#pragma once

#include <string>
#include <string_view>

namespace corvanta {

// Throws VaultPathError::invalidName with `label` + one of the five rule texts
// (" cannot be empty", " cannot contain '..'", " cannot contain path separators",
// " cannot contain control characters", " cannot start with '.'"), checked in
// that order. `label` is "Knowledge base name", "Filename" or "Topic filename".
void validateName(std::string_view name, std::string_view label);

// Expands a leading "~" with `home`, collapses "//" and "." components, resolves
// ".." against the previous component in absolute paths, drops a trailing "/".
// Relative paths keep their ".." components. Purely textual: never touches the disk.
std::string standardizePath(std::string_view path, std::string_view home);

// Page file: ends with ".md" (case-sensitive) and does not start with "_".
bool isPageFileName(std::string_view name);

}  // namespace corvanta
