#include "mcp/tool_arguments.h"

namespace corvanta {

ToolArguments::ToolArguments(const nlohmann::json& arguments) : arguments_(arguments) {}

const nlohmann::json* ToolArguments::find(std::string_view key) const {
  if (!arguments_.is_object()) return nullptr;
  auto it = arguments_.find(key);
  return it == arguments_.end() ? nullptr : &*it;
}

std::string ToolArguments::text(std::string_view key) const {
  const nlohmann::json* value = find(key);
  return value && value->is_string() ? value->get<std::string>() : std::string();
}

std::string ToolArguments::knowledgeBaseOrDefault() const {
  const nlohmann::json* value = find("kb");
  return value && value->is_string() ? value->get<std::string>()
                                     : std::string(kDefaultKnowledgeBase);
}

std::vector<std::string> ToolArguments::textList(std::string_view key) const {
  const nlohmann::json* value = find(key);
  if (!value || !value->is_array()) return {};
  std::vector<std::string> list;
  list.reserve(value->size());
  for (const nlohmann::json& element : *value) {
    if (!element.is_string()) return {};
    list.push_back(element.get<std::string>());
  }
  return list;
}

}  // namespace corvanta
