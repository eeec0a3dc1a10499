// The result of one MCP tool call: {"content": [{"type": "text", "text": ...}]},
// with "isError": true added only when the call failed.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace corvanta {

// Takes the text by value so that a large one (a whole page or compiled index)
// is moved into the result rather than copied.
nlohmann::json makeToolResult(std::string text, bool isError = false);

}  // namespace corvanta
