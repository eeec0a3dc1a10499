#include "platform/json_text.h"

#include <cmath>
#include <cstdio>

namespace corvanta {
namespace {

void appendString(std::string& out, const std::string& text) {
  out.push_back('"');
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '/':
        out += "\\/";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

void appendNumber(std::string& out, const nlohmann::json& value) {
  if (value.is_number_float()) {
    double number = value.get<double>();
    if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 1e15) {
      out += std::to_string(static_cast<long long>(number));
      return;
    }
  }
  out += value.dump();
}

void appendIndent(std::string& out, int depth) { out.append(static_cast<size_t>(depth) * 2, ' '); }

void appendValue(std::string& out, const nlohmann::json& value, int depth) {
  switch (value.type()) {
    case nlohmann::json::value_t::object: {
      if (value.empty()) {
        out += "{}";
        return;
      }
      out += "{\n";
      bool first = true;
      for (auto it = value.begin(); it != value.end(); ++it) {  // std::map: sorted keys
        if (!first) out += ",\n";
        first = false;
        appendIndent(out, depth + 1);
        appendString(out, it.key());
        out += " : ";
        appendValue(out, it.value(), depth + 1);
      }
      out += "\n";
      appendIndent(out, depth);
      out += "}";
      return;
    }
    case nlohmann::json::value_t::array: {
      if (value.empty()) {
        out += "[]";
        return;
      }
      out += "[\n";
      bool first = true;
      for (const auto& element : value) {
        if (!first) out += ",\n";
        first = false;
        appendIndent(out, depth + 1);
        appendValue(out, element, depth + 1);
      }
      out += "\n";
      appendIndent(out, depth);
      out += "]";
      return;
    }
    case nlohmann::json::value_t::string:
      appendString(out, value.get_ref<const std::string&>());
      return;
    case nlohmann::json::value_t::number_float:
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
      appendNumber(out, value);
      return;
    default:
      out += value.dump();  // true, false, null
  }
}

}  // namespace

std::string prettyJson(const nlohmann::json& value) {
  std::string out;
  appendValue(out, value, 0);
  return out;
}

nlohmann::json parseJson(std::string_view text) {
  return nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
}

}  // namespace corvanta
