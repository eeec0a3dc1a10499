// corvanta_synthesize: gathers the text of several pages into one request that
// tells the assistant how to write a topic page and store it with
// corvanta_write_topic. Reads only.
#pragma once

#include <cstddef>

#include <nlohmann/json.hpp>

namespace corvanta {

class KestFileManager;
class ToolArguments;

// The request stays bounded however many pages are named: only the first eight
// are read, and of each only the first 6000 user-perceived characters of its body.
constexpr size_t kSynthesisMaxSources = 8;
constexpr size_t kSynthesisMaxBodyLength = 6000;

// Arguments: kb (default "General"), filenames (array of strings), topic. Needs
// at least two names and a topic, and at least two of the pages to be readable;
// unreadable pages are marked "(not found)" in the request.
nlohmann::json synthesizeTool(KestFileManager& store, const ToolArguments& arguments);

}  // namespace corvanta
