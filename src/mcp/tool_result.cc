#include "mcp/tool_result.h"

namespace corvanta {

nlohmann::json makeToolResult(const std::string& text, bool isError) {
  nlohmann::json result = {
      {"content", nlohmann::json::array({{{"type", "text"}, {"text", text}}})}};
  if (isError) result["isError"] = true;
  return result;
}

}  // namespace corvanta
