// The tool catalogue: the sixteen MCP tools a host sees in tools/list, each with
// its name, the description written for the assistant and the JSON Schema of its
// arguments. The descriptions are product text: they steer the assistant to
// consult the vault before answering, so they are kept word for word.
//
// The catalogue is built on first use, once per process (thread-safe), and never
// changes afterwards; every caller sees the same object.
#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

namespace corvanta {

// The JSON array of tool objects, in catalogue order. Each tool object has exactly
// the keys "name", "description" and "inputSchema"; each schema has exactly
// "type" ("object"), "properties" and "required" (never omitted, possibly []).
const nlohmann::json& toolCatalogue();

// The catalogue restricted to the read-only tools, catalogue order kept: what a
// read-only connector lists.
const nlohmann::json& readOnlyToolCatalogue();

// True for the eight tools that only read the vault and so may be offered on a
// read-only connector.
bool isReadOnlyTool(std::string_view name);

}  // namespace corvanta
