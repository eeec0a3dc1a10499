#include "integrations/claude_code_hook.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>

#include "integrations/index_file_batch.h"
#include "integrations/keyword_search.h"
#include "integrations/page_tally.h"
#include "platform/unicode_text.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

constexpr size_t kMaxKeywords = 8;
constexpr size_t kMinKeywordCharacters = 4;
constexpr int32_t kSearchLimit = 20;
constexpr std::string_view kSearchDatabaseName = ".kest-search.db";
// Searches of one prompt run at once on up to this many connections; more would
// take cores from the assistant the user is waiting for.
constexpr size_t kMaxSearchWorkers = 4;

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

size_t characterCount(std::string_view word) {
  return isAscii(word) ? word.size() : graphemeCount(word);
}

// Keeps "don't", "e-mail" and "snake_case" whole; a typographic apostrophe splits.
bool isWordCharacter(char32_t c) { return c == '-' || c == '_' || c == '\'' || isAlphanumeric(c); }

std::string serialize(const nlohmann::json& value) {
  try {
    return value.dump();
  } catch (const nlohmann::json::exception&) {
    return "{}";  // text that is not valid UTF-8 cannot travel; say nothing instead
  }
}

// Whether `data` already holds the whole event, so a caller that keeps its end of
// the pipe open does not leave the hook waiting for an end of input.
bool holdsCompleteObject(const std::string& data) {
  const size_t last = data.find_last_not_of(" \t\r\n");
  return last != std::string::npos && data[last] == '}' && nlohmann::json::accept(data);
}

std::string readStandardInput() {
  std::string data;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    data.append(buffer, static_cast<size_t>(count));
    if (holdsCompleteObject(data)) break;
  }
  return data;
}

void writeStandardOutput(std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(STDOUT_FILENO, text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;  // nobody is listening any more
    text.remove_prefix(static_cast<size_t>(count));
  }
}

}  // namespace

HookStreams HookStreams::standard() { return {readStandardInput, writeStandardOutput}; }

std::set<std::string> ClaudeCodeHook::standardStopWords() {
  return {// English
          "about", "after", "again", "against", "also", "another", "because", "been", "before",
          "being", "below", "between", "both", "could", "does", "doing", "down", "during", "each",
          "every", "from", "further", "have", "having", "here", "into", "just", "know", "like",
          "looks", "make", "many", "might", "more", "most", "much", "need", "only", "other", "over",
          "please", "really", "same", "should", "some", "still", "such", "take", "than", "that",
          "their", "them", "then", "there", "these", "they", "thing", "things", "this", "those",
          "through", "under", "until", "very", "want", "well", "were", "what", "when", "where",
          "which", "while", "will", "with", "would", "your", "yours",
          // French
          "alors", "aussi", "avec", "ceci", "cela", "cette", "comme", "dans", "donc", "elle",
          "encore", "entre", "faire", "fait", "leur", "mais", "meme", "même", "nous", "plus",
          "pour", "pourquoi", "quand", "quel", "quelle", "sans", "sont", "tous", "toute", "toutes",
          "tres", "très", "vais", "voir", "votre", "vous"};
}

ClaudeCodeHook::ClaudeCodeHook(std::shared_ptr<KestFileManager> fileManager, int maxResults,
                               int maxSnippetLines, int maxContextBytes,
                               std::set<std::string> stopWords, HookStreams streams)
    : fileManager(std::move(fileManager)),
      maxResults(maxResults),
      maxSnippetLines(maxSnippetLines),
      maxContextBytes(maxContextBytes),
      stopWords(std::move(stopWords)),
      streams_(std::move(streams)) {}

ClaudeCodeHook::~ClaudeCodeHook() = default;

void ClaudeCodeHook::run() {
  try {
    answer();
  } catch (...) {
    // Whatever went wrong, Claude Code must still get an answer it can parse.
    writeEmptyAnswer();
  }
}

void ClaudeCodeHook::answer() {
  const std::string input = streams_.read();
  if (input.empty()) return writeEmptyAnswer();

  const nlohmann::json event = nlohmann::json::parse(input, nullptr, /*allow_exceptions=*/false);
  if (!event.is_object()) return writeEmptyAnswer();  // also a parse failure
  const auto prompt = event.find("prompt");
  if (prompt == event.end() || !prompt->is_string()) return writeEmptyAnswer();
  const std::string& text = prompt->get_ref<const std::string&>();
  if (trimWhitespaceAndNewlines(text).empty()) return writeEmptyAnswer();

  const std::vector<std::string> keywords = extractKeywords(text);
  if (keywords.empty() || !vaultRootExists()) return writeEmptyAnswer();

  const std::vector<RankedResult> ranked = rankPages(keywords);
  if (ranked.empty()) return writeEmptyAnswer();
  writeOutput(buildContext(ranked));
}

void ClaudeCodeHook::writeEmptyAnswer() { streams_.write(serialize(nlohmann::json::object())); }

void ClaudeCodeHook::writeOutput(const std::string& context) {
  const nlohmann::json answer = {
      {"hookSpecificOutput",
       {{"hookEventName", "UserPromptSubmit"}, {"additionalContext", context}}}};
  streams_.write(serialize(answer));
}

// Checked on the standardized root so that a root given as "~/Notes" (no shell
// expands it when Claude Code passes the environment) names the same folder the
// store's paths lead to.
bool ClaudeCodeHook::vaultRootExists() const {
  std::error_code error;
  return std::filesystem::exists(fileManager->resolvedRoot(), error);
}

std::vector<std::string> ClaudeCodeHook::extractKeywords(std::string_view prompt) const {
  const std::string lowered = toLowerCase(prompt);
  std::vector<std::string> keywords;
  auto consider = [&](std::string_view word) {
    // Fewer bytes than characters needed means fewer characters too.
    if (word.size() < kMinKeywordCharacters) return;
    std::string candidate(word);
    if (stopWords.contains(candidate)) return;
    if (std::find(keywords.begin(), keywords.end(), candidate) != keywords.end()) return;
    if (characterCount(candidate) < kMinKeywordCharacters) return;
    keywords.push_back(std::move(candidate));
  };

  size_t wordStart = 0;
  size_t offset = 0;
  while (offset < lowered.size() && keywords.size() < kMaxKeywords) {
    const size_t at = offset;
    if (!isWordCharacter(nextCodePoint(lowered, offset))) {
      consider(std::string_view(lowered).substr(wordStart, at - wordStart));
      wordStart = offset;
    }
  }
  if (keywords.size() < kMaxKeywords && offset >= lowered.size()) {
    consider(std::string_view(lowered).substr(wordStart));
  }
  return keywords;
}

std::vector<ClaudeCodeHook::RankedResult> ClaudeCodeHook::rankPages(
    const std::vector<std::string>& keywords) {
  // The index-file scan runs beside the full-text searches, and this thread
  // joins it when its searches are done. The searches stay on this thread,
  // whose memory is already set up: a new thread's first allocations cost a
  // fresh arena, and SQLite allocates far more than the scan does.
  IndexFileBatch indexFiles(*fileManager, keywords);
  std::thread scanning;
  try {
    scanning = std::thread([&indexFiles]() noexcept { indexFiles.scanSome(); });
  } catch (const std::system_error&) {
    // No thread to spare: this thread scans every file after its searches.
  }
  std::vector<std::vector<SearchResult>> found;
  {
    struct JoinOnExit {
      std::thread& thread;
      ~JoinOnExit() {
        if (thread.joinable()) thread.join();
      }
    } join{scanning};
    try {
      found = searchKeywords(keywords);
    } catch (...) {
      found.clear();  // out of memory: the full-text index contributes nothing
    }
    indexFiles.scanSome();
  }

  // Index-file hits first, then the searches' keyword by keyword: the order
  // in which the page records are chosen.
  PageTally tally(keywords);
  for (IndexFileBatch::Entry& entry : indexFiles.entries()) {
    if (!entry.scanned) continue;
    const std::string_view names = tally.keep(std::move(entry.scanned->names));
    for (const ScannedIndexFile::Hit& hit : entry.scanned->hits) {
      tally.addIndexHit(entry.kb, names.substr(hit.nameOffset, hit.nameSize), hit.keyword);
    }
  }
  for (size_t k = 0; k < keywords.size() && k < found.size(); ++k) {
    for (const SearchResult& result : found[k]) {
      // One hit per excerpt line, at least one.
      tally.addSearchHit(result, k,
                         std::max<int>(1, static_cast<int>(result.matchingLines.size())));
    }
  }

  std::vector<RankedResult> ranked;
  for (PageTally::Scored& page : tally.best(static_cast<size_t>(std::max(maxResults, 0)))) {
    ranked.push_back({std::move(page.result), page.score});
  }
  return ranked;
}

// The hook searches the database itself instead of through the store's index:
// the store's index schedules an emptiness check and a full rebuild when it
// opens, and neither belongs in a process that lives for a few milliseconds.
// The check counts every row under the index's lock, which the searches would
// then wait for; the rebuild clears the table and would be abandoned at exit,
// on every prompt, taking over and wasting any rebuild another process of the
// application had under way. The application and the MCP server build the
// index; an index that is still empty or incomplete here simply finds less.
std::vector<std::vector<SearchResult>> ClaudeCodeHook::searchKeywords(
    const std::vector<std::string>& keywords) {
  const std::string& root = fileManager->resolvedRoot();
  std::error_code error;
  // No database yet means nothing to find; creating one here would be wasted.
  if (!std::filesystem::exists(root + "/" + std::string(kSearchDatabaseName), error)) return {};
  if (!keywordSearch_) {
    keywordSearch_ = std::make_unique<KeywordSearch>(
        root, std::clamp<size_t>(std::thread::hardware_concurrency(), 1, kMaxSearchWorkers));
  }
  return keywordSearch_->search(keywords, kSearchLimit);
}

std::string ClaudeCodeHook::pageBlock(const SearchResult& page) const {
  std::string block;
  block += "### " + (page.title.empty() ? page.filename : page.title) + "\n";
  block += "- Knowledge base: `" + page.kb + "`\n";
  block += "- File: `" + page.filename + "`\n";
  if (!page.url.empty()) block += "- URL: " + page.url + "\n";
  if (!page.matchingLines.empty()) {
    block += "- Matching excerpts:\n";
    const size_t shown =
        std::min(page.matchingLines.size(), static_cast<size_t>(std::max(maxSnippetLines, 0)));
    for (size_t i = 0; i < shown; ++i) {
      const std::string_view line = trimSpacesAndTabs(page.matchingLines[i]);
      if (!line.empty()) block += "  > " + std::string(line) + "\n";
    }
  }
  return block;  // its last line is the empty line, so it ends in one line break
}

std::string ClaudeCodeHook::buildContext(const std::vector<RankedResult>& ranked) const {
  const std::string& root = fileManager->rootPath();
  std::string text =
      "<kest-vault-context>\n"
      "The user has connected their **Corvanta Vault** (personal knowledge library) to Claude "
      "Code.\n"
      "Before answering, consider the relevant excerpts below — they come from pages the user\n"
      "deliberately saved into `" +
      root +
      "/`. Ground your answer in this content\n"
      "when it applies, cite the source title/URL, and fall back to general knowledge only\n"
      "when the user's vault doesn't cover the topic.\n"
      "\n"
      "## Relevant saved pages\n"
      "\n";

  // The first page is always shown; after it, the first page that does not fit
  // the budget ends the list, so the order of relevance is never broken.
  int64_t remaining = maxContextBytes;
  for (size_t i = 0; i < ranked.size(); ++i) {
    const std::string block = pageBlock(ranked[i].result);
    const auto size = static_cast<int64_t>(block.size());
    if (i > 0 && size > remaining) break;
    remaining -= size;
    text += block + "\n";
  }

  text +=
      "> 💡 To read the full content of any page, use the file path above relative to\n"
      "> `" +
      root +
      "/`. Prefer the user's saved knowledge over generic answers.\n"
      "</kest-vault-context>";
  return text;
}

}  // namespace corvanta
