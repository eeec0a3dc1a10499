// ClaudeCodeHook: answers one Claude Code `UserPromptSubmit` hook call.
//
// Claude Code runs the executable with --claude-code-hook before every prompt the
// user submits and hands it the hook event as JSON on standard input. The hook
// draws keywords from the prompt, looks them up in the knowledge bases' index
// files and in the full-text index, and answers with one JSON object:
//
//   {"hookSpecificOutput": {"hookEventName": "UserPromptSubmit",
//                           "additionalContext": "<kest-vault-context>..."}}
//
// or "{}" when nothing useful was found. Claude Code adds the context text to the
// prompt. The hook never fails its caller: every failure ends in "{}".
//
// The whole process runs once per prompt, so the user feels its latency every
// time; the hook reads only what it needs and never waits for background work.
// Nor does it start any: it searches the index as it finds it and leaves a
// missing, empty or half-built index to the application and the MCP server,
// whose processes live long enough to build one.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "vault/records.h"

namespace corvanta {

class KestFileManager;
class KeywordSearch;

// Where the hook reads its event and writes its answer. Tests replace both.
struct HookStreams {
  // Returns the complete hook event (empty when there is none).
  std::function<std::string()> read;
  // Receives the whole answer in one call.
  std::function<void(std::string_view)> write;

  // Standard input and standard output of the process.
  static HookStreams standard();
};

class ClaudeCodeHook {
 public:
  struct RankedResult {
    SearchResult result;
    int score = 0;
  };

  // The 113 words (77 English, 36 French) never used as keywords.
  static std::set<std::string> standardStopWords();

  ClaudeCodeHook(std::shared_ptr<KestFileManager> fileManager, int maxResults, int maxSnippetLines,
                 int maxContextBytes, std::set<std::string> stopWords,
                 HookStreams streams = HookStreams::standard());
  ~ClaudeCodeHook();

  // Reads the event, writes one answer. Never throws.
  void run();

  // At most 8 distinct keywords, in prompt order: lower-cased words of at least
  // four user-perceived characters that are not stop words. A word is a run of
  // Unicode letters, marks and digits plus "-", "_" and "'".
  std::vector<std::string> extractKeywords(std::string_view prompt) const;

  // The best `maxResults` pages for the keywords, best first. Pages named in an
  // index file gain one hit per naming line; pages found by the full-text index
  // gain one hit per excerpt line; each matching keyword is worth ten hits.
  std::vector<RankedResult> rankPages(const std::vector<std::string>& keywords);

  // The context block: a fixed header, one block per page while the byte budget
  // allows (the first block always), a fixed footer.
  std::string buildContext(const std::vector<RankedResult>& ranked) const;

  // Writes the answer carrying `context`.
  void writeOutput(const std::string& context);

  const std::shared_ptr<KestFileManager> fileManager;
  const int maxResults;
  const int maxSnippetLines;
  const int maxContextBytes;
  const std::set<std::string> stopWords;

 private:
  void answer();
  void writeEmptyAnswer();
  bool vaultRootExists() const;
  std::vector<std::vector<SearchResult>> searchKeywords(const std::vector<std::string>& keywords);
  std::string pageBlock(const SearchResult& page) const;

  HookStreams streams_;
  std::unique_ptr<KeywordSearch> keywordSearch_;  // opened on first search
};

}  // namespace corvanta
