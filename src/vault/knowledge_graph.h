// Relations between saved pages, recorded by assistants. Edges are undirected in
// meaning; the stored from/to order is the order of addition.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace corvanta {

struct GraphEdge {
  std::string from;    // page key "<kb>/<filename>"
  std::string to;      // page key
  std::string reason;  // free text from the assistant
};

struct KnowledgeGraph {
  std::vector<GraphEdge> edges;  // in order of addition
  std::string updated;           // ISO 8601 time of the last addition; empty if never written
};

// One end of a relation as seen from a page.
struct RelatedPage {
  std::string kb;
  std::string filename;
  std::string reason;
};

void to_json(nlohmann::json& j, const GraphEdge& value);
void from_json(const nlohmann::json& j, GraphEdge& value);
void to_json(nlohmann::json& j, const KnowledgeGraph& value);
void from_json(const nlohmann::json& j, KnowledgeGraph& value);

}  // namespace corvanta
