#include "mcp/organise_tools.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "mcp/tool_arguments.h"
#include "mcp/tool_result.h"
#include "mcp/topic_slug.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

// Runs one change of the store. Returns nothing on success, else the failure's
// description (VaultPathError and the file-system errors describe themselves).
template <typename Change>
std::optional<std::string> attempt(Change&& change) {
  try {
    change();
    return std::nullopt;
  } catch (const std::exception& error) {
    return std::string(error.what());
  }
}

nlohmann::json failure(const std::string& text) { return makeToolResult(text, true); }

// Entries of a knowledge-base folder that are neither system files ("_" names,
// which deleting the knowledge base is meant to take along) nor hidden files.
// Anything else — a PDF, a ".txt" note, a "Notes.MD", a subfolder — is something
// the user put there and does not count as a page, so a zero page count alone
// does not make the folder safe to remove.
int64_t countUserEntries(const KestFileManager& store, const std::string& name) {
  std::string folder;
  try {
    folder = store.resolvedPath(name);
  } catch (const std::exception&) {
    return 0;  // the deletion itself then reports the refused name
  }
  int64_t count = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    std::string entryName = it->path().filename().string();
    if (!entryName.starts_with("_") && !entryName.starts_with(".")) ++count;
  }
  return count;
}

}  // namespace

nlohmann::json writeTopicTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string kb = arguments.knowledgeBaseOrDefault();
  std::string topic = arguments.text("topic");
  std::string content = arguments.text("content");
  if (topic.empty() || content.empty()) {
    return failure("Error: Both topic and content are required");
  }
  std::string slug = topicSlug(topic);
  if (auto error = attempt([&] { store.writeTopic(kb, slug, content); })) {
    return failure("Error: Failed to write topic page — " + *error);
  }
  return makeToolResult("Topic page saved: _topic-" + slug + ".md in '" + kb + "'");
}

nlohmann::json addRelationTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string from = arguments.text("from");
  std::string to = arguments.text("to");
  std::string reason = arguments.text("reason");
  if (from.empty() || to.empty() || reason.empty()) {
    return failure("Error: from, to, and reason are all required");
  }
  store.addRelation(from, to, reason);
  return makeToolResult("Relation added: " + from + " ↔ " + to + " — " + reason);
}

nlohmann::json moveFileTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string fromKb = arguments.text("from_kb");
  std::string filename = arguments.text("filename");
  std::string toKb = arguments.text("to_kb");
  if (fromKb.empty() || filename.empty() || toKb.empty()) {
    return failure("Error: from_kb, filename, and to_kb are all required");
  }
  if (fromKb == toKb) {
    return failure("Error: source and destination KB are the same ('" + fromKb + "')");
  }
  if (auto error = attempt([&] { store.moveFile(fromKb, filename, toKb); })) {
    return failure("Error moving file: " + *error);
  }
  store.scheduleIndexRefresh(fromKb);
  store.scheduleIndexRefresh(toKb);
  store.scheduleGuideRefresh();
  return makeToolResult("Moved '" + filename + "' from '" + fromKb + "' to '" + toKb + "'");
}

nlohmann::json editFileTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string kb = arguments.text("kb");
  std::string filename = arguments.text("filename");
  std::string content = arguments.text("content");
  if (kb.empty() || filename.empty() || content.empty()) {
    return failure("Error: kb, filename, and content are all required");
  }
  if (auto error = attempt([&] { store.editFile(kb, filename, content); })) {
    return failure("Error editing file: " + *error);
  }
  store.scheduleIndexRefresh(kb);
  store.scheduleGuideRefresh();
  return makeToolResult("Updated '" + filename + "' in '" + kb + "'");
}

nlohmann::json deleteFileTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string kb = arguments.text("kb");
  std::string filename = arguments.text("filename");
  if (kb.empty() || filename.empty()) return failure("Error: kb and filename are required");
  if (filename.starts_with("_")) {
    return failure("Error: Cannot delete system files (starting with '_')");
  }
  if (auto error = attempt([&] { store.deleteFile(kb, filename); })) {
    return failure("Error deleting file: " + *error);
  }
  store.scheduleIndexRefresh(kb);
  store.scheduleGuideRefresh();
  return makeToolResult("Deleted '" + filename + "' from '" + kb + "'");
}

nlohmann::json deleteKnowledgeBaseTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string name = arguments.text("name");
  if (name.empty()) return failure("Error: name is required");
  std::vector<KnowledgeBase> kbs = store.listKnowledgeBases();
  auto found = std::find_if(kbs.begin(), kbs.end(),
                            [&](const KnowledgeBase& kb) { return kb.name == name; });
  if (found == kbs.end()) return failure("Error: Knowledge base '" + name + "' not found");

  int64_t remaining = found->fileCount;
  if (remaining == 0) remaining = countUserEntries(store, name);
  if (remaining > 0) {
    return failure("Error: '" + name + "' still has " + std::to_string(remaining) +
                   " files. Move or delete them first.");
  }
  if (auto error = attempt([&] { store.deleteKnowledgeBase(name); })) {
    return failure("Error deleting KB: " + *error);
  }
  store.scheduleGuideRefresh();
  return makeToolResult("Deleted empty knowledge base '" + name + "'");
}

}  // namespace corvanta
