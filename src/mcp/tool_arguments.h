// How every tool reads its arguments object.
//
// A value counts only when it is present and has the expected JSON type (a
// string; for lists, an array holding nothing but strings). Anything else counts
// as missing, so a number sent for "kb" is treated exactly like no "kb" at all.
// Nothing is trimmed: the assistant's text reaches the store as it was sent.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace corvanta {

class ToolArguments {
 public:
  // The knowledge base the reading and topic tools use when none is given.
  static constexpr std::string_view kDefaultKnowledgeBase = "General";

  // `arguments` must outlive this view. A value that is not an object reads as
  // an object without keys.
  explicit ToolArguments(const nlohmann::json& arguments);

  // The string under `key`, or the empty string when missing.
  std::string text(std::string_view key) const;
  // The "kb" argument, or "General" when missing. Only the tools that default
  // their knowledge base use this; the others read text("kb").
  std::string knowledgeBaseOrDefault() const;
  // The array of strings under `key`, or an empty list when missing or when any
  // element is not a string.
  std::vector<std::string> textList(std::string_view key) const;

 private:
  const nlohmann::json* find(std::string_view key) const;

  const nlohmann::json& arguments_;
};

}  // namespace corvanta
