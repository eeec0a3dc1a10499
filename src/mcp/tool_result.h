// The result of one MCP tool call: {"content": [{"type": "text", "text": ...}]},
// with "isError": true added only when the call failed.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace corvanta {

nlohmann::json makeToolResult(const std::string& text, bool isError = false);

}  // namespace corvanta
