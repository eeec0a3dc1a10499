#include "platform/json_text.h"

#include <gtest/gtest.h>

namespace corvanta {
namespace {

TEST(JsonTextTest, PrettyShapeSortsKeysSpacesColonsAndEscapesSlashes) {
  nlohmann::json value = {{"updated", "2026-01-01T00:00:00Z"},
                          {"edges", {{{"to", "B/b.md"}, {"from", "A/a.md"}, {"reason", "r"}}}}};
  EXPECT_EQ(prettyJson(value),
            "{\n"
            "  \"edges\" : [\n"
            "    {\n"
            "      \"from\" : \"A\\/a.md\",\n"
            "      \"reason\" : \"r\",\n"
            "      \"to\" : \"B\\/b.md\"\n"
            "    }\n"
            "  ],\n"
            "  \"updated\" : \"2026-01-01T00:00:00Z\"\n"
            "}");
}

TEST(JsonTextTest, NumbersControlCharactersAndUnicode) {
  EXPECT_EQ(prettyJson(786297600.0), "786297600");
  EXPECT_EQ(prettyJson(0.5), "0.5");
  EXPECT_EQ(prettyJson("a\"b\\c\n\x01é"), "\"a\\\"b\\\\c\\n\\u0001é\"");
  EXPECT_EQ(prettyJson(nlohmann::json::array()), "[]");
  EXPECT_EQ(prettyJson(nlohmann::json::object()), "{}");
}

}  // namespace
}  // namespace corvanta
