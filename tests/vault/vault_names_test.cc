#include "vault/vault_names.h"

#include <gtest/gtest.h>

#include "vault/vault_path_error.h"

namespace corvanta {
namespace {

// The message validateName throws for `name`, or "" when the name is valid.
std::string failure(const std::string& name, const std::string& label = "Filename") {
  try {
    validateName(name, label);
    return "";
  } catch (const VaultPathError& error) {
    EXPECT_EQ(error.kind(), VaultPathError::Kind::invalidName);
    EXPECT_EQ(std::string(error.what()), "Invalid name: " + error.payload());
    return error.payload();
  }
}

TEST(ValidateNameTest, EachRuleHasItsMessage) {
  EXPECT_EQ(failure(""), "Filename cannot be empty");
  EXPECT_EQ(failure(".."), "Filename cannot contain '..'");
  EXPECT_EQ(failure("a/b.md"), "Filename cannot contain path separators");
  EXPECT_EQ(failure("a\\b.md"), "Filename cannot contain path separators");
  EXPECT_EQ(failure("a\tb.md"), "Filename cannot contain control characters");
  EXPECT_EQ(failure("a\x7f.md"), "Filename cannot contain control characters");
  EXPECT_EQ(failure(std::string("a\0b", 3)), "Filename cannot contain control characters");
  EXPECT_EQ(failure(".cache", "Knowledge base name"), "Knowledge base name cannot start with '.'");
  EXPECT_EQ(failure(".", "Topic filename"), "Topic filename cannot start with '.'");
}

TEST(ValidateNameTest, RulesApplyInOrder) {
  // ".." is caught before the separator rule, separators before control
  // characters, and control characters before the leading dot.
  EXPECT_EQ(failure("../x", "Knowledge base name"), "Knowledge base name cannot contain '..'");
  EXPECT_EQ(failure("x/..", "Knowledge base name"), "Knowledge base name cannot contain '..'");
  EXPECT_EQ(failure("a/..b"), "Filename cannot contain '..'");
  EXPECT_EQ(failure(".\\x"), "Filename cannot contain path separators");
  EXPECT_EQ(failure(".\n"), "Filename cannot contain control characters");
}

TEST(ValidateNameTest, AcceptsOrdinaryAndUnusualNames) {
  for (const char* name : {"note.md", "a..b", "notes.", "with space.md", "Café", "日本語.md",
                           "emoji 😀.md", "\xc2\x85 C1 control", "a..", "_index.md"}) {
    EXPECT_EQ(failure(name), "") << name;
  }
}

TEST(StandardizePathTest, CollapsesSeparatorsAndDots) {
  EXPECT_EQ(standardizePath("/tmp//vault/", "/home/u"), "/tmp/vault");
  EXPECT_EQ(standardizePath("/tmp/./vault/./General", "/home/u"), "/tmp/vault/General");
  EXPECT_EQ(standardizePath("/", "/home/u"), "/");
  EXPECT_EQ(standardizePath("//", "/home/u"), "/");
}

TEST(StandardizePathTest, ResolvesParentsOnlyInAbsolutePaths) {
  EXPECT_EQ(standardizePath("/a/b/../c", "/h"), "/a/c");
  EXPECT_EQ(standardizePath("/a/../../..", "/h"), "/");
  EXPECT_EQ(standardizePath("/vault/../etc/passwd", "/h"), "/etc/passwd");
  EXPECT_EQ(standardizePath("a/../b", "/h"), "a/../b");
  EXPECT_EQ(standardizePath("../a//./b/", "/h"), "../a/b");
}

TEST(StandardizePathTest, ExpandsOnlyALeadingTilde) {
  EXPECT_EQ(standardizePath("~", "/home/u"), "/home/u");
  EXPECT_EQ(standardizePath("~/Documents/Kest Vault/", "/home/u"), "/home/u/Documents/Kest Vault");
  EXPECT_EQ(standardizePath("/a/~/b", "/home/u"), "/a/~/b");
  EXPECT_EQ(standardizePath("~other/x", "/home/u"), "~other/x");
}

}  // namespace
}  // namespace corvanta
