// JSON text in the two shapes the product writes.
//
// Files and HTTP bodies use the "pretty" shape that the product's clients and
// stored files have always seen: keys sorted, two-space indentation, a space on
// both sides of each colon, "/" written as "\/", non-ASCII text written as UTF-8,
// whole numbers without a fraction. Protocol lines (JSON-RPC, hook answers) use
// nlohmann's compact dump().
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace corvanta {

std::string prettyJson(const nlohmann::json& value);

// Parses `text`; returns a discarded value (is_discarded()) instead of throwing.
nlohmann::json parseJson(std::string_view text);

}  // namespace corvanta
