#include "integrations/claude_code_hook.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/background_queue.h"
#include "search/search_index.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// A scratch vault with its own store and background queue, and a hook whose
// input and output are plain strings.
class HookFixture : public ::testing::Test {
 protected:
  HookFixture()
      : paths_(dir_.path(), dir_ / "config", dir_ / "data"),
        root_(dir_ / "vault"),
        queue_(1),
        store_(std::make_shared<KestFileManager>(root_, paths_, queue_)) {
    std::filesystem::create_directories(root_);
  }

  ClaudeCodeHook makeHook(int maxResults = 5) {
    HookStreams streams{[this] { return input_; },
                        [this](std::string_view text) { output_ += text; }};
    return ClaudeCodeHook(store_, maxResults, 3, 6000, ClaudeCodeHook::standardStopWords(),
                          streams);
  }

  std::string answer(const std::string& input) {
    input_ = input;
    output_.clear();
    makeHook().run();
    return output_;
  }

  std::string answerPrompt(const std::string& prompt) {
    return answer(nlohmann::json{{"prompt", prompt}}.dump());
  }

  // The context text of an answer that has one; fails the test otherwise.
  static std::string contextOf(const std::string& output) {
    const nlohmann::json answer = nlohmann::json::parse(output);
    EXPECT_EQ(answer.size(), 1u);
    const nlohmann::json& specific = answer.at("hookSpecificOutput");
    EXPECT_EQ(specific.at("hookEventName"), "UserPromptSubmit");
    return specific.at("additionalContext").get<std::string>();
  }

  void writeIndexFile(const std::string& kb, const std::string& text) {
    test::writeText(root_ + "/" + kb + "/_index.md", text);
  }

  // Opens the index and lets its start-up check finish first, so that the check
  // cannot find the table empty and wipe rows added afterwards.
  SearchIndex& searchIndex() {
    SearchIndex& index = store_->searchIndex();
    EXPECT_TRUE(queue_.waitUntilIdle(std::chrono::seconds(20)));
    return index;
  }

  void addPage(const std::string& kb, const std::string& filename, const std::string& title,
               const std::string& body, const std::string& url = "") {
    searchIndex().upsertPage(kb, filename, title, "", url, body);
  }

  test::TempDir dir_;
  Paths paths_;
  std::string root_;
  BackgroundQueue queue_;
  std::shared_ptr<KestFileManager> store_;
  std::string input_;
  std::string output_;
};

// --- Stop words and keywords ------------------------------------------------

TEST(ClaudeCodeHookStopWordsTest, HoldsTheEnglishAndFrenchListsInLowerCase) {
  const std::set<std::string> words = ClaudeCodeHook::standardStopWords();
  EXPECT_EQ(words.size(), 113u);
  for (const char* word : {"about", "yours", "through", "alors", "même", "meme", "très", "vous"}) {
    EXPECT_TRUE(words.contains(word)) << word;
  }
  for (const std::string& word : words) {
    EXPECT_GE(word.size(), 4u) << word;
    EXPECT_EQ(word.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << word;
  }
}

class ClaudeCodeHookKeywordTest : public HookFixture {
 protected:
  std::vector<std::string> keywords(const std::string& prompt) {
    return makeHook().extractKeywords(prompt);
  }
};

TEST_F(ClaudeCodeHookKeywordTest, DropsShortAndStopWordsAndKeepsPromptOrder) {
  EXPECT_THAT(keywords("Summarize my notes about Kubernetes operators"),
              ElementsAre("summarize", "notes", "kubernetes", "operators"));
  EXPECT_THAT(keywords("what about this one"), IsEmpty());
  EXPECT_THAT(keywords("ABOUT Pourquoi MÊME Très"), IsEmpty());
  EXPECT_THAT(keywords("notes NOTES Notes kubernetes notes"), ElementsAre("notes", "kubernetes"));
}

TEST_F(ClaudeCodeHookKeywordTest, KeepsHyphenUnderscoreAndAsciiApostropheInsideWords) {
  EXPECT_THAT(keywords("Don't"), ElementsAre("don't"));
  EXPECT_THAT(keywords("send e-mail via snake_case"), ElementsAre("send", "e-mail", "snake_case"));
  // A typographic apostrophe splits, leaving two pieces too short to keep.
  EXPECT_THAT(keywords("don\u2019t"), IsEmpty());
  EXPECT_THAT(keywords("path/to:file,name;(react)hooks!"),
              ElementsAre("path", "file", "name", "react", "hooks"));
  EXPECT_THAT(keywords("----"), ElementsAre("----"));
}

TEST_F(ClaudeCodeHookKeywordTest, CountsUserPerceivedCharactersNotBytes) {
  // "été" is three characters in five bytes; "noël" and a decomposed "café" are four.
  EXPECT_THAT(keywords("été noël cafe\u0301"), ElementsAre("noël", "cafe\u0301"));
  EXPECT_THAT(keywords("ÉCOLE Straße"), ElementsAre("école", "straße"));
  EXPECT_THAT(keywords("日本語 東京都庁舎"), ElementsAre("東京都庁舎"));
}

TEST_F(ClaudeCodeHookKeywordTest, TakesAtMostEightKeywords) {
  EXPECT_THAT(
      keywords("alpha bravo charlie delta echo foxtrot golf1 hotel india juliet"),
      ElementsAre("alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf1", "hotel"));
}

// --- The empty answer ---------------------------------------------------------

TEST_F(HookFixture, AnswersEmptyObjectWhenThereIsNothingToSay) {
  writeIndexFile("Notes", "- **Kubernetes operators** · [kube.md]\n");
  for (const std::string& input :
       {std::string(), std::string("not json"), std::string("[1, 2]"), std::string("{}"),
        std::string(R"({"session_id": "x"})"), std::string(R"({"prompt": 42})"),
        std::string(R"({"prompt": null})"), std::string(R"({"prompt": " \n\t "})"),
        std::string(R"({"prompt": "what about this one"})")}) {
    EXPECT_EQ(answer(input), "{}") << input;
  }
}

TEST_F(HookFixture, AnswersEmptyObjectWhenNothingMatches) {
  writeIndexFile("Notes", "- **Kubernetes operators** · [kube.md]\n");
  addPage("Notes", "kube.md", "Kubernetes operators", "Reconcile loops for operators.");
  EXPECT_EQ(answerPrompt("Tell me about gardening"), "{}");
}

TEST_F(HookFixture, AnswersEmptyObjectWhenTheVaultRootIsMissing) {
  addPage("Notes", "kube.md", "Kubernetes operators", "Reconcile loops for operators.");
  std::filesystem::rename(root_, dir_ / "moved");
  EXPECT_EQ(answerPrompt("kubernetes operators"), "{}");
}

// --- Ranking ------------------------------------------------------------------

TEST_F(HookFixture, TwoKeywordsOutrankThreeExcerptLinesOfOne) {
  // Each hit of a search snippet split at "..." is one excerpt line.
  addPage("Notes", "both.md", "Both", "Kubernetes clusters run operators daily.");
  addPage("Notes", "one.md", "One", "kubernetes basics ... kubernetes pods ... kubernetes nodes");
  std::vector<ClaudeCodeHook::RankedResult> ranked =
      makeHook().rankPages({"kubernetes", "operators"});
  ASSERT_EQ(ranked.size(), 2u);
  EXPECT_EQ(ranked[0].result.filename, "both.md");
  EXPECT_EQ(ranked[0].score, 22);
  EXPECT_EQ(ranked[1].result.filename, "one.md");
  EXPECT_EQ(ranked[1].score, 13);
}

TEST_F(HookFixture, IndexFileLinesCountOnceEachAndSearchFillsInTheRecord) {
  writeIndexFile("Notes",
                 "# Notes — 2 pages\n"
                 "### docs.example (2)\n"
                 "- **Kubernetes operators** — Reconcile loops · [kube.md]\n"
                 "- **Kubernetes operators, again** · [kube.md]\n"
                 "  Related: [kube.md](kube.md)\n"
                 "- **Kubernetes [beta] guide** · [guide.md]\n"
                 "- **No file name here** — kubernetes\n"
                 "- 2026-01-01: Kubernetes operators (docs.example)\n");
  addPage("Notes", "kube.md", "Kubernetes operators", "About operators.",
          "https://docs.example/kube");
  std::vector<ClaudeCodeHook::RankedResult> ranked = makeHook().rankPages({"kubernetes"});
  ASSERT_EQ(ranked.size(), 2u);
  // kube.md: two index lines, one search hit with one excerpt line.
  EXPECT_EQ(ranked[0].result.filename, "kube.md");
  EXPECT_EQ(ranked[0].score, 13);
  EXPECT_EQ(ranked[0].result.title, "Kubernetes operators");
  EXPECT_EQ(ranked[0].result.url, "https://docs.example/kube");
  EXPECT_EQ(ranked[1].result.filename, "guide.md");
  EXPECT_EQ(ranked[1].score, 11);
  EXPECT_EQ(ranked[1].result.kb, "Notes");
  EXPECT_TRUE(ranked[1].result.title.empty());
}

TEST_F(HookFixture, KeepsOnlyTheBestFivePages) {
  for (int i = 0; i < 7; ++i) {
    std::string body = "kubernetes";
    for (int extra = 0; extra < i % 3; ++extra) body += " ... kubernetes";
    addPage("Notes", "page" + std::to_string(i) + ".md", "Page", body);
  }
  EXPECT_EQ(makeHook().rankPages({"kubernetes"}).size(), 5u);
  EXPECT_EQ(makeHook(2).rankPages({"kubernetes"}).size(), 2u);

  const std::string context = contextOf(answerPrompt("kubernetes"));
  size_t blocks = 0;
  for (size_t at = context.find("\n### "); at != std::string::npos;
       at = context.find("\n### ", at + 1)) {
    ++blocks;
  }
  EXPECT_EQ(blocks, 5u);
}

TEST_F(HookFixture, PageFoundOnlyThroughItsIndexFileIsListedByFileName) {
  writeIndexFile("Research", "- **Rust ownership** — Borrowing rules · [rust-20260101-0900.md]\n");
  searchIndex();  // an empty, opened index contributes nothing
  const std::string context = contextOf(answerPrompt("How does Rust ownership work?"));
  EXPECT_THAT(context, HasSubstr("### rust-20260101-0900.md\n"
                                 "- Knowledge base: `Research`\n"
                                 "- File: `rust-20260101-0900.md`\n"
                                 "\n"));
  EXPECT_THAT(context, Not(HasSubstr("- URL:")));
  EXPECT_THAT(context, Not(HasSubstr("- Matching excerpts:")));
}

TEST_F(HookFixture, SkipsKnowledgeBasesThatAreHiddenOrHaveNoIndexFile) {
  writeIndexFile(".hidden", "- **Rust** · [rust.md]\n");
  std::filesystem::create_directories(root_ + "/Empty");
  test::writeText(root_ + "/Loose/_index.md/inner", "a folder where the index file should be");
  searchIndex();
  EXPECT_EQ(answerPrompt("rust ownership"), "{}");
}

// --- The context text -----------------------------------------------------------

class ClaudeCodeHookContextTest : public HookFixture {
 protected:
  static ClaudeCodeHook::RankedResult page(const std::string& filename, size_t bodyBytes = 0) {
    SearchResult result;
    result.kb = "Notes";
    result.filename = filename;
    if (bodyBytes > 0) result.matchingLines = {std::string(bodyBytes, 'x')};
    return {result, 10};
  }
};

TEST_F(ClaudeCodeHookContextTest, WritesHeaderBlocksAndFooterLineByLine) {
  SearchResult full;
  full.kb = "Notes";
  full.filename = "kube.md";
  full.title = "Kubernetes operators";
  full.url = "https://docs.example/kube";
  full.matchingLines = {"  first excerpt\t", " \t ", "second", "fourth is never shown"};
  const std::string expected =
      "<kest-vault-context>\n"
      "The user has connected their **Corvanta Vault** (personal knowledge library) to Claude "
      "Code.\n"
      "Before answering, consider the relevant excerpts below — they come from pages the user\n"
      "deliberately saved into `" +
      root_ +
      "/`. Ground your answer in this content\n"
      "when it applies, cite the source title/URL, and fall back to general knowledge only\n"
      "when the user's vault doesn't cover the topic.\n"
      "\n"
      "## Relevant saved pages\n"
      "\n"
      "### Kubernetes operators\n"
      "- Knowledge base: `Notes`\n"
      "- File: `kube.md`\n"
      "- URL: https://docs.example/kube\n"
      "- Matching excerpts:\n"
      "  > first excerpt\n"
      "  > second\n"
      "\n"
      "### other.md\n"
      "- Knowledge base: `Notes`\n"
      "- File: `other.md`\n"
      "\n"
      "> 💡 To read the full content of any page, use the file path above relative to\n"
      "> `" +
      root_ +
      "/`. Prefer the user's saved knowledge over generic answers.\n"
      "</kest-vault-context>";
  EXPECT_EQ(makeHook().buildContext({{full, 23}, page("other.md")}), expected);
}

TEST_F(ClaudeCodeHookContextTest, FirstBlockIsAlwaysKeptEvenWhenOverBudget) {
  const std::string context = makeHook().buildContext({page("huge.md", 7000), page("small.md")});
  EXPECT_THAT(context, HasSubstr("### huge.md"));
  EXPECT_THAT(context, Not(HasSubstr("### small.md")));
}

TEST_F(ClaudeCodeHookContextTest, FirstBlockThatDoesNotFitEndsTheList) {
  // About 5000 bytes, then 1500 that no longer fit, then a small one never tried.
  const std::string context =
      makeHook().buildContext({page("first.md", 4900), page("second.md", 1400), page("third.md")});
  EXPECT_THAT(context, HasSubstr("### first.md"));
  EXPECT_THAT(context, Not(HasSubstr("### second.md")));
  EXPECT_THAT(context, Not(HasSubstr("### third.md")));

  const std::string fits =
      makeHook().buildContext({page("first.md", 2000), page("second.md", 2000)});
  EXPECT_THAT(fits, HasSubstr("### second.md"));
}

TEST_F(HookFixture, AnswerCarriesTheContextAsCompactJsonWithoutLineBreakAtTheEnd) {
  addPage("Notes", "kube.md", "Kubernetes \"operators\"", "Reconcile loops for operators.");
  const std::string output = answerPrompt("operators");
  ASSERT_FALSE(output.empty());
  EXPECT_EQ(output.front(), '{');
  EXPECT_EQ(output.back(), '}');
  EXPECT_THAT(contextOf(output), HasSubstr("### Kubernetes \"operators\"\n"));
}

// --- The executable -------------------------------------------------------------

class ClaudeCodeHookProcessTest : public ::testing::Test {
 protected:
  test::ProcessResult runHook(const std::string& input, const std::string& vaultRoot) {
    test::ProcessOptions options;
    options.arguments = {"--claude-code-hook"};
    options.environment = {{"HOME", home_.path()},
                           {"XDG_CONFIG_HOME", home_ / "config"},
                           {"XDG_DATA_HOME", home_ / "data"},
                           {"KEST_VAULT_ROOT", vaultRoot}};
    options.standardInput = input;
    return test::runProcess(test::corvantaBinary(), options);
  }

  test::TempDir home_;
};

TEST_F(ClaudeCodeHookProcessTest, AnswersEmptyObjectAndStatusZeroOnUnusableInput) {
  for (const std::string& input :
       {std::string(), std::string("{\"prompt\":"), std::string("[\"kubernetes\"]")}) {
    const test::ProcessResult result = runHook(input, home_ / "vault");
    EXPECT_EQ(result.exitStatus, 0) << input;
    EXPECT_EQ(result.standardOutput, "{}") << input;
  }
}

// Claude Code gave up waiting and closed its end: still status 0, not SIGPIPE.
TEST_F(ClaudeCodeHookProcessTest, ExitsZeroWhenNobodyReadsTheAnswer) {
  int output[2];
  ASSERT_EQ(::pipe(output), 0);
  ::close(output[0]);
  const std::string binary = test::corvantaBinary();
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::signal(SIGPIPE, SIG_DFL);  // an ignored signal would be inherited
    const int input = ::open("/dev/null", O_RDONLY);
    ::dup2(input, STDIN_FILENO);
    ::dup2(output[1], STDOUT_FILENO);
    ::execl(binary.c_str(), binary.c_str(), "--claude-code-hook", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ClaudeCodeHookProcessTest, MissingVaultRootAnswersEmptyObject) {
  const test::ProcessResult result =
      runHook(R"({"prompt": "kubernetes operators"})", home_ / "no/such/vault");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardOutput, "{}");
}

// A vault without a search database: the run may start the index's rebuild, but
// answers from the index files without waiting for it.
TEST_F(ClaudeCodeHookProcessTest, VaultWithoutSearchIndexAnswersFromIndexFiles) {
  const std::string vault = home_ / "vault";
  test::writeText(vault + "/Notes/_index.md", "- **Kubernetes operators** · [kube.md]\n");
  test::writeText(vault + "/Notes/kube.md", "# Kubernetes operators\n\nReconcile loops.\n");
  const test::ProcessResult result = runHook(
      R"({"session_id": "s", "hook_event_name": "UserPromptSubmit", "prompt": "operators?"})",
      vault);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_THAT(result.standardOutput, HasSubstr("- File: `kube.md`"));
}

TEST_F(ClaudeCodeHookProcessTest, EmptyVaultRootVariableMeansTheDefaultVault) {
  test::writeText(home_ / "Documents/Kest Vault/Notes/_index.md",
                  "- **Kubernetes operators** · [kube.md]\n");
  const test::ProcessResult result = runHook(R"({"prompt": "operators"})", "");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_THAT(result.standardOutput, HasSubstr("Kest Vault/"));
}

}  // namespace
}  // namespace corvanta
