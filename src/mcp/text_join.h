// Joining the lines and parts of a tool's text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

inline std::string joinText(const std::vector<std::string>& pieces, std::string_view separator) {
  std::string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) joined += separator;
    joined += pieces[i];
  }
  return joined;
}

}  // namespace corvanta
