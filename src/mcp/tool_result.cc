#include "mcp/tool_result.h"

namespace corvanta {

nlohmann::json makeToolResult(std::string text, bool isError) {
  nlohmann::json result = {
      {"content", nlohmann::json::array({{{"type", "text"}, {"text", std::move(text)}}})}};
  if (isError) result["isError"] = true;
  return result;
}

}  // namespace corvanta
