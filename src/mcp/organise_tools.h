// The tools that change the vault: topic pages, relations, moving, editing and
// deleting pages, and deleting an empty knowledge base. None is offered on the
// read-only connector.
//
// Arguments are checked first, in the order each tool lists them, so a call with
// several problems reports only the first. A refused or failed change is an error
// result whose text ends with the store's description of the failure. After a
// successful change the tool schedules the regeneration of the index files and
// the guide it affected; those run in the background and are not awaited.
#pragma once

#include <nlohmann/json.hpp>

namespace corvanta {

class KestFileManager;
class ToolArguments;

// corvanta_write_topic (kb, default "General"; topic; content): writes or
// replaces "_topic-<slug>.md".
nlohmann::json writeTopicTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_add_relation (from, to, reason): records an edge of the knowledge
// graph. The page keys are not checked; the store drops a pair already recorded.
nlohmann::json addRelationTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_move_file (from_kb, filename, to_kb): the target knowledge base is
// created when missing; a name already taken there gets a "-n" suffix.
nlohmann::json moveFileTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_edit_file (kb, filename, content): replaces the whole text of an
// existing page. No default knowledge base: an edit must name its target.
nlohmann::json editFileTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_delete_file (kb, filename): system files ("_" names) are refused here,
// before the store is asked.
nlohmann::json deleteFileTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_delete_kb (name): deletes a knowledge base only when it holds nothing
// but system files (its index and topic pages).
nlohmann::json deleteKnowledgeBaseTool(KestFileManager& store, const ToolArguments& arguments);

}  // namespace corvanta
