// A synthetic vault for benchmarks: realistic saved pages spread over several
// knowledge bases, written straight to disk (not through the store, so that
// generating a vault costs nothing the benchmark measures).
//
// Pages mix both header forms the vault reads: about six in ten carry YAML front
// matter, the rest the standard emoji header. Bodies are a few KB of markdown
// (headings, paragraphs, lists, links) drawn from a fixed vocabulary with a
// skewed word frequency, so common words hit many pages and rare words few.
//
// The output depends only on (pageCount, seed): the same arguments always give
// the same files, names and figures, so runs are comparable.
//
//   GeneratedVault vault = generateVault("/tmp/v", 10000, 42);
//   // vault.commonWords, vault.rareWords, vault.absentWord build queries.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvanta {

struct GeneratedVault {
  std::string root;
  std::vector<std::string> knowledgeBases;
  size_t pageCount = 0;
  size_t totalBytes = 0;
  // Words that occur in a large share of pages (good prefix and AND queries).
  std::vector<std::string> commonWords;
  // Words that occur in a handful of pages.
  std::vector<std::string> rareWords;
  // A word that occurs in no page.
  std::string absentWord;
};

namespace vault_generator_detail {

inline const std::vector<std::string>& commonVocabulary() {
  static const std::vector<std::string> words = {
      "react",    "hooks",      "state",     "component", "render",    "effect",   "database",
      "index",    "query",      "search",    "server",    "client",    "network",  "request",
      "response", "cache",      "memory",    "thread",    "process",   "library",  "framework",
      "function", "variable",   "module",    "package",   "compiler",  "runtime",  "browser",
      "document", "element",    "style",     "layout",    "design",    "pattern",  "testing",
      "deploy",   "container",  "cluster",   "storage",   "stream",    "event",    "message",
      "security", "password",   "token",     "session",   "account",   "profile",  "performance",
      "latency",  "throughput", "benchmark", "profiling", "optimize",  "learning", "model",
      "training", "dataset",    "feature",   "vector",    "recipe",    "garden",   "travel",
      "history",  "science",    "music",     "article",   "summary",   "chapter",  "section",
      "example",  "tutorial",   "the",       "and",       "with",      "from",     "that",
      "this",     "about",      "which",     "when",      "where",     "because",  "through",
      "reacting", "reactive",   "indexed",   "indexing",  "searching", "rendered",
  };
  return words;
}

// Pronounceable made-up words for the long tail; none is an English word, so a
// rare word's hits are exactly the pages it was put into.
inline std::string tailWord(uint32_t n) {
  static const char* const kOnsets[] = {"b", "d", "k", "l", "m", "n", "p", "r", "s", "t", "v", "z"};
  static const char* const kVowels[] = {"a", "e", "i", "o", "u"};
  std::string word;
  for (int syllable = 0; syllable < 3; ++syllable) {
    word += kOnsets[n % 12];
    n /= 12;
    word += kVowels[n % 5];
    n /= 5;
  }
  return word + "x";
}

inline const std::vector<std::string>& knowledgeBaseNames() {
  static const std::vector<std::string> names = {
      "General",          "Research", "Engineering", "Recipes", "Travel notes",
      "Machine Learning", "Reading",  "Design",      "Archive", "Café",
  };
  return names;
}

inline const std::vector<std::string>& domains() {
  static const std::vector<std::string> names = {
      "react.dev",
      "developer.mozilla.org",
      "en.wikipedia.org",
      "github.com",
      "news.ycombinator.com",
      "medium.com",
      "docs.python.org",
      "sqlite.org",
      "arxiv.org",
      "seriouseats.com",
      "lonelyplanet.com",
      "youtube.com",
  };
  return names;
}

class Writer {
 public:
  explicit Writer(uint32_t seed) : random_(seed) {}

  uint32_t below(uint32_t n) { return static_cast<uint32_t>(random_() % n); }

  // Skewed pick: low indexes far more often than high ones.
  const std::string& commonWord() {
    const auto& words = commonVocabulary();
    uint32_t a = below(static_cast<uint32_t>(words.size()));
    uint32_t b = below(static_cast<uint32_t>(words.size()));
    return words[a < b ? a : b];
  }

  std::string sentence(size_t words, uint32_t tailRange) {
    std::string out;
    for (size_t i = 0; i < words; ++i) {
      if (i) out += ' ';
      // One word in twenty comes from the long tail.
      out += below(20) == 0 ? tailWord(below(tailRange)) : commonWord();
    }
    if (!out.empty()) out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
    return out + ".";
  }

 private:
  std::mt19937 random_;
};

inline std::string twoDigits(uint32_t n) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02u", n % 100);
  return buffer;
}

inline std::string pageText(Writer& w, const std::string& title, const std::string& url,
                            const std::string& domain, const std::string& savedAt, bool frontMatter,
                            uint32_t tailRange) {
  std::string text;
  if (frontMatter) {
    text += "---\ntitle: \"" + title + "\"\nurl: " + url + "\ndomain: " + domain +
            "\nsaved_at: " + savedAt + "\ntemplate: article\n---\n\n";
    text += "# " + title + "\n\n";
  } else {
    text += "# " + title + "\n\n\U0001F517 Source: [" + url + "](" + url + ")\n";
    text += "\U0001F4C5 Saved on: " + savedAt.substr(0, 10) + "\n\n---\n\n";
  }
  size_t sections = 3 + w.below(4);
  for (size_t s = 0; s < sections; ++s) {
    text += "## " + w.sentence(2 + w.below(3), tailRange) + "\n\n";
    size_t paragraphs = 1 + w.below(3);
    for (size_t p = 0; p < paragraphs; ++p) {
      size_t sentences = 3 + w.below(5);
      for (size_t k = 0; k < sentences; ++k) {
        if (k) text += ' ';
        text += w.sentence(6 + w.below(14), tailRange);
      }
      text += "\n\n";
    }
    if (w.below(2) == 0) {
      for (size_t item = 0, n = 2 + w.below(4); item < n; ++item) {
        text += "- " + w.sentence(3 + w.below(6), tailRange) + "\n";
      }
      text += "\n";
    }
    if (w.below(3) == 0) {
      text += "See [" + w.commonWord() + "](https://" + domain + "/" + w.commonWord() + ").\n\n";
    }
  }
  return text;
}

}  // namespace vault_generator_detail

// Writes `pageCount` pages under `root` (created when missing). Throws
// std::runtime_error when a file cannot be written.
inline GeneratedVault generateVault(const std::string& root, size_t pageCount, uint32_t seed) {
  using namespace vault_generator_detail;
  Writer w(seed);
  GeneratedVault vault;
  vault.root = root;
  vault.knowledgeBases = knowledgeBaseNames();
  for (const auto& kb : vault.knowledgeBases) std::filesystem::create_directories(root + "/" + kb);

  // A page holds some 35 tail words; with eight candidates per page each tail
  // word lands in only a few pages.
  const uint32_t tailRange = static_cast<uint32_t>(pageCount * 8 + 1000);
  for (size_t i = 0; i < pageCount; ++i) {
    // Skewed spread: the first knowledge bases hold most pages, as in real vaults.
    uint32_t a = w.below(static_cast<uint32_t>(vault.knowledgeBases.size()));
    uint32_t b = w.below(static_cast<uint32_t>(vault.knowledgeBases.size()));
    const std::string& kb = vault.knowledgeBases[a < b ? a : b];
    const std::string& domain = domains()[w.below(static_cast<uint32_t>(domains().size()))];

    std::string title = w.sentence(3 + w.below(5), tailRange);
    title.pop_back();  // no final period in titles
    std::string slug = w.commonWord() + "-" + w.commonWord() + "-" + std::to_string(i);
    std::string url = "https://" + domain + "/" + slug;
    uint32_t year = 2023 + w.below(4), month = 1 + w.below(12), day = 1 + w.below(28);
    uint32_t hour = w.below(24), minute = w.below(60), second = w.below(60);
    std::string date = std::to_string(year) + "-" + twoDigits(month) + "-" + twoDigits(day);
    std::string savedAt =
        date + "T" + twoDigits(hour) + ":" + twoDigits(minute) + ":" + twoDigits(second) + "Z";

    bool frontMatter = w.below(10) < 6;
    std::string filename = slug + "-" + date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2) +
                           "-" + twoDigits(hour) + twoDigits(minute) + ".md";
    std::string text = pageText(w, title, url, domain, savedAt, frontMatter, tailRange);

    std::string path = root + "/" + kb + "/" + filename;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
    vault.totalBytes += text.size();
  }
  vault.pageCount = pageCount;
  vault.commonWords = {"react", "hooks", "database", "search", "server", "memory", "model"};
  for (uint32_t n = 0; n < 8; ++n) vault.rareWords.push_back(tailWord(n * 7 + 3));
  vault.absentWord = "zzqxwvvk";
  return vault;
}

}  // namespace corvanta
