#include "search/match_query.h"

#include <gtest/gtest.h>

#include "search/search_index.h"

namespace corvanta {
namespace {

TEST(MatchQueryTest, OneWordIsAPrefixQuery) {
  EXPECT_EQ(SearchIndex::buildMatchQuery("react"), "\"react\" *");
  EXPECT_EQ(SearchIndex::buildMatchQuery("  react\t"), "\"react\" *");
  EXPECT_EQ(SearchIndex::buildMatchQuery("(react)!"), "\"react\" *");
}

TEST(MatchQueryTest, SeveralWordsAreQuotedPhrasesWithoutOperators) {
  EXPECT_EQ(SearchIndex::buildMatchQuery("react hooks"), "\"react\" \"hooks\"");
  EXPECT_EQ(SearchIndex::buildMatchQuery("a OR b"), "\"a\" \"OR\" \"b\"");
  EXPECT_EQ(SearchIndex::buildMatchQuery("say \"hi\""), "\"say\" \"hi\"");
  EXPECT_EQ(SearchIndex::buildMatchQuery("x NEAR(y"), "\"x\" \"NEAR(y\"");
}

TEST(MatchQueryTest, QuotesNeverReachTheExpression) {
  EXPECT_EQ(SearchIndex::buildMatchQuery("ab\"cd"), "\"abcd\" *");
  EXPECT_EQ(SearchIndex::buildMatchQuery("\"\"\" x\"y"), "\"xy\" *");
}

TEST(MatchQueryTest, PunctuationIsTrimmedOnlyAtTheEnds) {
  EXPECT_EQ(SearchIndex::buildMatchQuery("-_'don't'_-"), "\"don't\" *");
  EXPECT_EQ(SearchIndex::buildMatchQuery("«Café» ¿qué?"), "\"Café\" \"qué\"");
}

TEST(MatchQueryTest, TextWithoutWordsGivesNothing) {
  EXPECT_EQ(SearchIndex::buildMatchQuery(""), "");
  EXPECT_EQ(SearchIndex::buildMatchQuery("   \t "), "");
  EXPECT_EQ(SearchIndex::buildMatchQuery("!!! ... -- \"\""), "");
}

TEST(MatchQueryTest, LineBreaksDoNotSeparateWords) {
  EXPECT_EQ(SearchIndex::buildMatchQuery("a\nb"), "\"a\nb\" *");
}

TEST(SnippetLinesTest, SplitsAtEllipsesAndKeepsThree) {
  EXPECT_EQ(matchingLinesFromSnippet("...alpha beta..."), std::vector<std::string>{"alpha beta"});
  EXPECT_EQ(matchingLinesFromSnippet("start of body ... middle ...end"),
            (std::vector<std::string>{"start of body", "middle", "end"}));
  EXPECT_EQ(matchingLinesFromSnippet("a...b...c...d...e"),
            (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(matchingLinesFromSnippet("\n one \n......\t two"),
            (std::vector<std::string>{"one", "two"}));
  EXPECT_TRUE(matchingLinesFromSnippet("").empty());
  EXPECT_TRUE(matchingLinesFromSnippet("......").empty());
}

}  // namespace
}  // namespace corvanta
