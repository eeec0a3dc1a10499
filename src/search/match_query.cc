#include "search/match_query.h"

#include "platform/unicode_text.h"
#include "search/search_index.h"

namespace corvanta {
namespace {

constexpr size_t kMaxMatchingLines = 3;

std::vector<std::string> wordsOf(std::string_view query) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find_first_of(" \t", start);
    if (end == std::string_view::npos) end = query.size();
    std::string word = trimPunctuation(query.substr(start, end - start));
    // Quotes inside a word would end the phrase early; the word is searched
    // without them.
    std::erase(word, '"');
    if (!word.empty()) words.push_back(std::move(word));
    start = end + 1;
  }
  return words;
}

}  // namespace

std::string buildFtsMatchExpression(std::string_view query) {
  std::vector<std::string> words = wordsOf(query);
  if (words.empty()) return {};
  if (words.size() == 1) return "\"" + words.front() + "\" *";
  std::string expression;
  for (const std::string& word : words) {
    if (!expression.empty()) expression += ' ';
    expression += "\"" + word + "\"";
  }
  return expression;
}

std::vector<std::string> matchingLinesFromSnippet(std::string_view snippet) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (lines.size() < kMaxMatchingLines && start <= snippet.size()) {
    size_t end = snippet.find("...", start);
    if (end == std::string_view::npos) end = snippet.size();
    std::string_view piece = trimWhitespaceAndNewlines(snippet.substr(start, end - start));
    if (!piece.empty()) lines.emplace_back(piece);
    start = end + 3;
  }
  return lines;
}

std::string SearchIndex::buildMatchQuery(std::string_view query) {
  return buildFtsMatchExpression(query);
}

}  // namespace corvanta
