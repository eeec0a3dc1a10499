#include "vault/page_metadata.h"

#include <gtest/gtest.h>
#include <unicode/regex.h>
#include <utime.h>

#include "platform/local_time.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

namespace corvanta {
namespace {

using namespace std::chrono_literals;

TimePoint utc(int y, unsigned m, unsigned d, std::chrono::seconds time = 0s) {
  return TimePoint(std::chrono::sys_days(std::chrono::year(y) / m / d) + time);
}

class PageMetadataTest : public ::testing::Test {
 protected:
  void SetUp() override { test::useTimeZone("Europe/Berlin"); }

  // A page file whose modification time is 2020-02-02T02:02:02Z.
  std::string pageWithKnownMtime(const std::string& name) {
    std::string path = dir_ / name;
    test::writeText(path, "x");
    utimbuf times{kMtime, kMtime};
    utime(path.c_str(), &times);
    return path;
  }

  static constexpr time_t kMtime = 1580608922;
  test::TempDir dir_;
};

// --- standard header -------------------------------------------------------

TEST_F(PageMetadataTest, StandardHeaderGivesTitleUrlAndDomain) {
  std::string text =
      "# React docs\n"
      "\U0001F517 Source: [https://www.react.dev/learn](https://www.react.dev/learn?x=1)\n"
      "\U0001F4C5 Saved on: April 5, 2026\n"
      "\n"
      "Body text.";
  FileMeta meta = parseMetadata("react-docs-20260405-1430.md", text, "");
  EXPECT_EQ(meta.title, "React docs");
  // The address inside the parentheses, not the link text.
  EXPECT_EQ(meta.url, "https://www.react.dev/learn?x=1");
  EXPECT_EQ(meta.domain, "react.dev");
  EXPECT_EQ(meta.templateName, "");
  EXPECT_EQ(meta.savedAt, "2026-04-05T12:30:00Z");  // 14:30 in Berlin
}

TEST_F(PageMetadataTest, LegacyTitleLineAndSquirrelLines) {
  std::string text =
      "\U0001F43F\uFE0F Saved with the squirrel\n"
      "  \U0001F4C4 Title: An old page  \n"
      "\U0001F517 Source: see https://old.example.org/a(b) here\n";
  FileMeta meta = parseMetadata("page.md", text, "");
  EXPECT_EQ(meta.title, "An old page");
  EXPECT_EQ(meta.url, "https://old.example.org/a(b");
  EXPECT_EQ(meta.domain, "old.example.org");
}

TEST_F(PageMetadataTest, HeaderTitleRules) {
  using Pieces = std::vector<std::string_view>;
  EXPECT_EQ(headerTitle(Pieces{"", " \t", "---", "#  Heading  "}), "Heading");
  EXPECT_EQ(headerTitle(Pieces{"Note: kept after colon"}), "kept after colon");
  EXPECT_EQ(headerTitle(Pieces{"Plain first line", "# Later"}), "Plain first line");
  EXPECT_EQ(headerTitle(Pieces{"#   ", "# Later"}), "#");  // first unskipped piece decides
  EXPECT_EQ(headerTitle(Pieces{"# : x"}), ": x");
  EXPECT_EQ(headerTitle(Pieces{"ends with: "}), "ends with:");
  EXPECT_EQ(headerTitle(Pieces{"\U0001F4C5 only", "\U0001F517 only"}), std::nullopt);
  EXPECT_EQ(headerTitle(Pieces{}), std::nullopt);
}

TEST_F(PageMetadataTest, HeaderUrlOnlyFromLinkLines) {
  using Pieces = std::vector<std::string_view>;
  EXPECT_EQ(headerURL(Pieces{"https://not.a.link.line", "\U0001F517 [x](http://a.b/c)"}),
            "http://a.b/c");
  EXPECT_EQ(headerURL(Pieces{"\U0001F517 no address", "\U0001F517 https://second.org"}),
            "https://second.org");
  EXPECT_EQ(headerURL(Pieces{"\U0001F517 (https://) ftp://x"}), std::nullopt);
  // A non-breaking space ends the address, as Unicode white space.
  EXPECT_EQ(headerURL(Pieces{"\U0001F517 https://a.org/x\u00A0y"}), "https://a.org/x");
}

// The hand-written scan must find what ICU's regular expressions find.
TEST_F(PageMetadataTest, HeaderUrlScanAgreesWithTheRegularExpressions) {
  auto icuFind = [](std::string_view line) -> std::optional<std::string> {
    for (const char* pattern : {"\\(https?://[^)\\s]+\\)", "https?://[^\\s)]+"}) {
      UErrorCode status = U_ZERO_ERROR;
      icu::RegexMatcher matcher(pattern, 0, status);
      icu::UnicodeString input = icu::UnicodeString::fromUTF8(line);
      matcher.reset(input);
      if (matcher.find()) {
        icu::UnicodeString found = matcher.group(status);
        if (pattern[0] == '\\') found = icu::UnicodeString(found, 1, found.length() - 2);
        std::string out;
        return found.toUTF8String(out);
      }
    }
    return std::nullopt;
  };
  const char* samples[] = {
      "[a](https://x.org) https://y.org",
      "https://y.org then (https://x.org)",
      "(https://open.org no close",
      "(http://)(http://a)",
      "((https://a.b/c))",
      "httpss://no http://yes",
      "(https://a\tb) https://c\u2003d",
      "x (https://\u00E9t\u00E9.fr/\u00E7a) y",
      "(https://a.org/x\u0085y)",
      "https://a.org/\u000Bx",
      "(https://a.org/)",
      "nothing here",
  };
  for (const char* sample : samples) {
    std::string line = std::string("\U0001F517 ") + sample;
    EXPECT_EQ(headerURL({line}), icuFind(line)) << sample;
  }
}

TEST_F(PageMetadataTest, CrLfPagesAreStandardHeaderPagesWithCleanTitles) {
  std::string text = "---\r\ntitle: Not front matter\r\n---\r\n# Real\r\n";
  EXPECT_EQ(parseFrontmatter(text).title, "");
  FileMeta meta = parseMetadata("a.md", "# Windows title\r\n\U0001F517 https://a.org\r\n", "");
  EXPECT_EQ(meta.title, "Windows title");
  EXPECT_EQ(meta.url, "https://a.org");
  // Without front matter the block's lines are ordinary header lines.
  EXPECT_EQ(parseMetadata("a.md", text, "").title, "Not front matter");
}

TEST_F(PageMetadataTest, OnlyTheFirstThirtyLinesAreHeader) {
  // The 31st piece is the rest of the text, taken whole.
  std::string text(30, '\n');
  text += "# Rest\nof the page";
  EXPECT_EQ(parseMetadata("some-page.md", text, "").title, "Rest\nof the page");
  std::string linkInRest(30, '\n');
  linkInRest += "# Rest\nof the page \U0001F517 https://late.org";
  FileMeta meta = parseMetadata("some-page.md", linkInRest, "");
  EXPECT_EQ(meta.title, "Some page");
  EXPECT_EQ(meta.url, "https://late.org");

  std::string lateLink(29, '\n');
  lateLink += "\U0001F517 https://in.time.org\n\U0001F517 https://rest.org";
  EXPECT_EQ(parseMetadata("p.md", lateLink, "").url, "https://in.time.org");
}

// --- front matter ------------------------------------------------------------

TEST_F(PageMetadataTest, FrontMatterValues) {
  std::string text =
      "---\n"
      "title: \"Part 2: The Sequel\"\n"
      "url:  https://www.example.com/a \n"
      "template: 'article'\n"
      "saved_at: yesterday\n"
      "Title: ignored, keys are case-sensitive\n"
      "no colon here\n"
      "url: https://later.example.com/b\n"
      "---\n"
      "Body";
  FrontMatter front = parseFrontmatter(text);
  EXPECT_EQ(front.title, "Part 2: The Sequel");
  EXPECT_EQ(front.url, "https://later.example.com/b");
  EXPECT_EQ(front.templateName, "'article'");
  EXPECT_EQ(front.savedAt, "yesterday");

  FileMeta meta = parseMetadata("x.md", text, "");
  EXPECT_EQ(meta.domain, "later.example.com");
  EXPECT_EQ(meta.savedAt, "yesterday");  // verbatim
}

TEST_F(PageMetadataTest, FrontMatterDomainAndQuotes) {
  FileMeta meta = parseMetadata(
      "my-page-20260101-0900.md",
      "---\nurl: https://www.a.com\ndomain: b.org\ntitle: \"\nsaved_at: \"\"\n---\n", "");
  EXPECT_EQ(meta.domain, "b.org");
  EXPECT_EQ(meta.title, "My page");  // a lone quote is an empty title
  EXPECT_EQ(meta.savedAt, "2026-01-01T08:00:00Z");
}

TEST_F(PageMetadataTest, UnclosedFrontMatterFallsBackToTheName) {
  std::string path = pageWithKnownMtime("notes.md");
  FileMeta meta =
      parseMetadata("notes.md", "---\ntitle: Lost\n# Heading\n\U0001F517 https://a.org\n", path);
  EXPECT_EQ(meta.title, "Notes");
  EXPECT_EQ(meta.url, "");
  EXPECT_EQ(meta.domain, "");
  EXPECT_EQ(meta.savedAt, "2020-02-02T02:02:02Z");
}

TEST_F(PageMetadataTest, StripFrontmatterBodyRule) {
  EXPECT_EQ(stripFrontmatter("no front matter\n"), "no front matter\n");
  EXPECT_EQ(stripFrontmatter("---\nunclosed\n"), "---\nunclosed\n");
  EXPECT_EQ(stripFrontmatter("---\na: b\n---\n\n  Body\r\nnext\u2028last \n\n"),
            "Body\n\nnext\nlast");
  EXPECT_EQ(stripFrontmatter("---\n---"), "");
}

// --- file names --------------------------------------------------------------

TEST_F(PageMetadataTest, DatesFromFileNamesInTheLocalZone) {
  EXPECT_EQ(dateFromFilename("2026-04-05 14.30.00.md"), utc(2026, 4, 5, 12h + 30min));
  EXPECT_EQ(dateFromFilename("2026-01-05 14.30.00 extra.md"), utc(2026, 1, 5, 13h + 30min));
  EXPECT_EQ(dateFromFilename("react-docs-20260405-1430.md"), utc(2026, 4, 5, 12h + 30min));
  EXPECT_EQ(dateFromFilename("20260405-1430.md"), std::nullopt);  // needs the leading "-"
  EXPECT_EQ(dateFromFilename("x-20260405-1430-youtube.md"), std::nullopt);
  EXPECT_EQ(dateFromFilename("plain.md"), std::nullopt);
  // Impossible dates give nothing, and a bad timestamp form is not retried as a slug.
  EXPECT_EQ(dateFromFilename("2026-13-05 14.30.00.md"), std::nullopt);
  EXPECT_EQ(dateFromFilename("2026-02-30 14.30.00-20260405-1430.md"), std::nullopt);
  EXPECT_EQ(dateFromFilename("a-20261340-1430.md"), std::nullopt);
}

TEST_F(PageMetadataTest, ImpossibleFileNameDateFallsBackToModificationTime) {
  std::string path = pageWithKnownMtime("2026-13-05 14.30.00.md");
  EXPECT_EQ(parseMetadata("2026-13-05 14.30.00.md", "", path).savedAt, "2020-02-02T02:02:02Z");
  // A real date, but before the range of a time point.
  EXPECT_EQ(parseMetadata("0001-01-01 00.00.00.md", "", path).savedAt, "2020-02-02T02:02:02Z");
  // Nothing readable at all: the clock.
  TimePoint before = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  TimePoint saved = dateFromSavedAt(parseMetadata("x.md", "", dir_ / "missing.md").savedAt);
  EXPECT_GE(saved, before);
}

TEST_F(PageMetadataTest, TitlesFromFileNames) {
  EXPECT_EQ(titleFromFilename("react-docs-20260405-1430.md"), "React docs");
  EXPECT_EQ(titleFromFilename("funny-cat-video-youtube.md"), "Funny cat video");
  EXPECT_EQ(titleFromFilename("x-20260405-1430-youtube.md"), "X 20260405 1430");
  EXPECT_EQ(titleFromFilename("clip-tiktok-x.md"), "Clip tiktok");  // one suffix only
  EXPECT_EQ(titleFromFilename("2026-04-05 14.30.00.md"), "2026 04 05 14.30.00");
  EXPECT_EQ(titleFromFilename("\u00FCber-uns.md"), "\u00DCber uns");
  EXPECT_EQ(titleFromFilename("-youtube.md"), "");
  EXPECT_EQ(titleFromFilename("no-extension"), "No extension");
}

// --- addresses ---------------------------------------------------------------

TEST_F(PageMetadataTest, DomainsFromAddresses) {
  EXPECT_EQ(domainFromURL(""), "");
  EXPECT_EQ(domainFromURL("https://www.Example.com/path?q#f"), "Example.com");
  EXPECT_EQ(domainFromURL("https://WWW.example.com"), "WWW.example.com");
  EXPECT_EQ(domainFromURL("http://user:pw@www.host.org:8080/x"), "host.org");
  EXPECT_EQ(domainFromURL("http://[::1]:7421/ping"), "::1");
  EXPECT_EQ(domainFromURL("//cdn.example.net/lib.js"), "cdn.example.net");
  EXPECT_EQ(domainFromURL("https://www.www.a.b"), "www.a.b");
  EXPECT_EQ(domainFromURL("mailto:someone@example.com"), "");
  EXPECT_EQ(domainFromURL("file:///tmp/x"), "");
  EXPECT_EQ(domainFromURL("example.com/path"), "");
  EXPECT_EQ(domainFromURL("not a url"), "");
  EXPECT_EQ(domainFromURL("http://bad host/"), "");
  EXPECT_EQ(domainFromURL("http://host:port/"), "");
  EXPECT_EQ(domainFromURL("http://[::1/"), "");
}

// --- summaries ---------------------------------------------------------------

TEST_F(PageMetadataTest, SummaryPicksTheFirstQualifyingLine) {
  std::string text =
      "---\ntitle: T\n---\n"
      "# Heading that is long enough to count\n"
      "![an image with a long alternative text](x.png)\n"
      "-- * -- * --\n"
      "\U0001F517 Source line that is long enough\n"
      "\U0001F4C4 Title line that is long enough\n"
      "> \U0001F4C5 quoted date line long enough\n"
      "Short line.\n"
      "  This line has **twenty** or more __characters__.  \n"
      "Never reached because the previous line qualified.\n";
  EXPECT_EQ(extractSummary(text, 120), "This line has twenty or more characters.");
}

TEST_F(PageMetadataTest, SummaryLengthLimits) {
  EXPECT_EQ(extractSummary("1234567890123456789", 120), std::nullopt);
  EXPECT_EQ(extractSummary("12345678901234567890", 120), "12345678901234567890");
  // Twenty user-perceived characters, many more bytes and code points.
  std::string accented;
  for (int i = 0; i < 20; ++i) accented += "e\u0301";
  EXPECT_EQ(extractSummary(accented, 120), accented);
  EXPECT_EQ(extractSummary(accented.substr(0, accented.size() - 3), 120), std::nullopt);

  std::string paragraph;
  while (paragraph.size() < 200) paragraph += "word ";
  paragraph.resize(200);
  std::string summary = extractSummary(paragraph, 120).value();
  EXPECT_LE(summary.size(), 123u);
  EXPECT_TRUE(summary.ends_with("word..."));

  // No space within the limit: a hard cut, never inside a character.
  std::string emoji;
  for (int i = 0; i < 130; ++i) emoji += "\U0001F44D\U0001F3FD";
  std::string cut = extractSummary(emoji, 120).value();
  EXPECT_EQ(cut.size(), 120 * 8 + 3);
}

TEST_F(PageMetadataTest, SummaryReadsTheBodyAsStripFrontmatterGivesIt) {
  // The body is trimmed of all white space first: a no-break space before the
  // first line is gone, one after a space or tab inside a later line is not.
  std::string text = "---\na: b\n---\n\u00A0 First line of the body, long enough\n";
  EXPECT_EQ(extractSummary(text, 120), "First line of the body, long enough");
  EXPECT_EQ(extractSummary("\u00A0 Text without front matter keeps it", 120),
            "\u00A0 Text without front matter keeps it");
}

TEST_F(PageMetadataTest, RuleLinesOfOneOrTwoCharactersAreNotRules) {
  // "**" becomes empty after removal, but the test happens before removal.
  EXPECT_EQ(extractSummary("---\n---\n** \n", 120), std::nullopt);
  EXPECT_EQ(extractSummary("- - - - - - - - - - - - -\n", 120), std::nullopt);
}

TEST_F(PageMetadataTest, SavedAtTextsBackToDates) {
  EXPECT_EQ(dateFromSavedAt("2026-04-05T12:30:00Z"), utc(2026, 4, 5, 12h + 30min));
  EXPECT_EQ(dateFromSavedAt("2026-04-05T12:30:00.500+02:00"), utc(2026, 4, 5, 10h + 30min) + 500ms);
  TimePoint before = std::chrono::system_clock::now();
  EXPECT_GE(dateFromSavedAt("April 5"), before);
  EXPECT_EQ(iso8601(utc(2026, 4, 5, 1s)), "2026-04-05T00:00:01Z");
}

}  // namespace
}  // namespace corvanta
