#include "vault/records.h"

#include <gtest/gtest.h>

namespace corvanta {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

TimePoint unix(int64_t seconds) { return TimePoint(std::chrono::seconds(seconds)); }

TEST(RecordsTest, DatesAreSecondsSinceTwoThousandOneWithFraction) {
  EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(unix(978307200)), 0.0);
  EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(unix(978307200) + 1500ms), 1.5);
  EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(unix(0)), -978307200.0);
  EXPECT_EQ(fromSecondsSinceReferenceDate(796134600.25), unix(1774441800) + 250ms);
  // Rounded to the nearest tick, not truncated: 0.1 is not exact in binary.
  EXPECT_EQ(fromSecondsSinceReferenceDate(0.1), unix(978307200) + 100ms);
  // Far outside what a time point holds: saturates instead of overflowing.
  EXPECT_LT(fromSecondsSinceReferenceDate(-1e300), unix(-5'000'000'000));
  EXPECT_GT(fromSecondsSinceReferenceDate(1e300), unix(8'000'000'000));
}

TEST(RecordsTest, FileMetaKeysAndRoundTrip) {
  FileMeta meta{"T", "https://a.org", "a.org", "article", "2026-04-05T12:30:00Z"};
  json encoded = meta;
  EXPECT_EQ(encoded, json::parse(R"({"title":"T","url":"https://a.org","domain":"a.org",
      "template":"article","saved_at":"2026-04-05T12:30:00Z"})"));
  FileMeta decoded = encoded.get<FileMeta>();
  EXPECT_EQ(decoded.templateName, "article");
  EXPECT_EQ(decoded.savedAt, meta.savedAt);
}

TEST(RecordsTest, SavedFileAndKnowledgeBase) {
  SavedFile file{"a.md", "A", "", "", unix(978307200) + 2500ms, ""};
  json encoded = file;
  EXPECT_DOUBLE_EQ(encoded.at("savedAt").get<double>(), 2.5);
  EXPECT_EQ(encoded.size(), 6u);
  EXPECT_EQ(encoded.get<SavedFile>().savedAt, file.savedAt);

  KnowledgeBase empty{"Empty", 0, std::nullopt};
  json emptyJson = empty;
  EXPECT_FALSE(emptyJson.contains("lastModified"));
  EXPECT_FALSE(emptyJson.get<KnowledgeBase>().lastModified);

  KnowledgeBase full{"Full", 3, unix(978307200 + 60)};
  json fullJson = full;
  EXPECT_EQ(fullJson.at("lastModified"), 60.0);
  KnowledgeBase back = fullJson.get<KnowledgeBase>();
  EXPECT_EQ(back.fileCount, 3);
  EXPECT_EQ(back.lastModified, full.lastModified);
  EXPECT_FALSE(json::parse(R"({"name":"n","fileCount":1,"lastModified":null})")
                   .get<KnowledgeBase>()
                   .lastModified);
}

TEST(RecordsTest, SearchResultUsesSnakeCaseLines) {
  SearchResult hit{"KB", "a.md", "A", "u", "d", {"one", "two"}};
  json encoded = hit;
  EXPECT_EQ(encoded.at("matching_lines"), json({"one", "two"}));
  EXPECT_FALSE(encoded.contains("matchingLines"));
  EXPECT_EQ(encoded.get<SearchResult>().matchingLines, hit.matchingLines);
}

TEST(RecordsTest, RequestAndResponseBodies) {
  json write = json::parse(R"({"filename":"a.md","content":"# A","meta":{"title":"A","url":"",
      "domain":"","template":"","saved_at":""}})");
  WriteFileRequest request = write.get<WriteFileRequest>();
  EXPECT_EQ(request.content, "# A");
  EXPECT_EQ(json(request), write);
  EXPECT_EQ(json::parse(R"({"content":"x"})").get<EditFileRequest>().content, "x");
  EXPECT_EQ(json::parse(R"({"name":"KB"})").get<CreateKBRequest>().name, "KB");
  EXPECT_EQ(json(PingResponse{true, "1.0.0"}), json::parse(R"({"ok":true,"version":"1.0.0"})"));
  EXPECT_FALSE(json::parse(R"({"ok":false,"version":"1"})").get<PingResponse>().ok);
}

TEST(RecordsTest, DecodingRejectsMissingKeysAndWrongTypes) {
  auto fails = [](const char* text, auto record) {
    json value = json::parse(text);
    EXPECT_THROW(value.get<decltype(record)>(), json::exception) << text;
  };
  fails(R"({"filename":"a.md","content":"x"})", WriteFileRequest{});
  fails(R"({"filename":"a.md","content":"x","meta":{"title":"A"}})", WriteFileRequest{});
  fails(R"({"filename":"a.md","content":"x","meta":null})", WriteFileRequest{});
  fails(R"({"title":"A","url":"","domain":"","saved_at":""})", FileMeta{});  // no template
  fails(R"({"content":7})", EditFileRequest{});
  fails(R"({})", CreateKBRequest{});
  fails(R"({"ok":"yes","version":"1"})", PingResponse{});
  fails(R"({"name":"n","fileCount":"3"})", KnowledgeBase{});
  fails(R"({"name":"n","fileCount":2.5})", KnowledgeBase{});
  fails(R"({"name":"n","fileCount":1,"lastModified":"yesterday"})", KnowledgeBase{});
  fails(R"({"name":"n","fileCount":1,"lastModified":1e300})", KnowledgeBase{});
  fails(R"({"filename":"a","title":"","url":"","domain":"","template":""})", SavedFile{});
  fails(R"({"kb":"K","filename":"a","title":"","url":"","domain":"","matching_lines":[1]})",
        SearchResult{});
  fails(R"(["not","an","object"])", CreateKBRequest{});
}

}  // namespace
}  // namespace corvanta
