// Turning user text into an FTS5 match expression, and FTS5 snippets back into
// the lines shown with a hit. Pure text functions: no database involved.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

// Words are split at spaces and tabs only and trimmed of Unicode punctuation at
// both ends; double quotes are removed so user text can never open or close a
// phrase. One word becomes a prefix query ("word" *); several become quoted
// phrases that must all occur ("a" "b"). No words gives an empty expression.
std::string buildFtsMatchExpression(std::string_view query);

// The snippet split at every "...", each piece trimmed of white space and line
// breaks, empty pieces dropped, at most the first three kept.
std::vector<std::string> matchingLinesFromSnippet(std::string_view snippet);

}  // namespace corvanta
