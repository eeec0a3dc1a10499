// Cost of reading page metadata, the work a knowledge-base listing repeats for
// every page on every call. Builds 10,000 pages in memory, the way the browser
// extension writes them, and prints the time per page for each header form.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "vault/page_metadata.h"

namespace {

using corvanta::FileMeta;

struct Page {
  std::string filename;
  std::string text;
};

std::string body(int seed) {
  std::string out;
  for (int paragraph = 0; paragraph < 40; ++paragraph) {
    out += "## Section " + std::to_string(paragraph) + "\n\n";
    for (int sentence = 0; sentence < 6; ++sentence) {
      out += "This is sentence " + std::to_string(sentence + seed) +
             " of a saved article, with **bold** words and a [link](https://example.com/" +
             std::to_string(paragraph) + "). ";
    }
    out += "\n\n";
  }
  return out;  // about 12 KB
}

Page standardPage(int i) {
  std::string slug = "saved-article-number-" + std::to_string(i);
  return {slug + "-20260405-1430.md",
          "# Saved article number " + std::to_string(i) +
              "\n\U0001F517 Source: [https://www.example.com/a/" + std::to_string(i) +
              "](https://www.example.com/a/" + std::to_string(i) +
              ")\n\U0001F4C5 Saved on: April 5, 2026 at 2:30 PM\n\n" + body(i)};
}

Page frontMatterPage(int i) {
  return {"2026-04-05 14.30." + std::to_string(10 + i % 50) + ".md",
          "---\ntitle: \"Article " + std::to_string(i) +
              ": a subtitle\"\nurl: https://www.example.org/p/" + std::to_string(i) +
              "\nsaved_at: 2026-04-05T12:30:00Z\ntemplate: article\n---\n\n" + body(i)};
}

template <typename Work>
double nanosecondsPerPage(const std::vector<Page>& pages, Work work) {
  size_t sink = 0;
  auto start = std::chrono::steady_clock::now();
  for (const Page& page : pages) sink += work(page);
  auto elapsed = std::chrono::steady_clock::now() - start;
  if (sink == 1) std::puts("");  // keeps the work from being optimised away
  return std::chrono::duration<double, std::nano>(elapsed).count() / pages.size();
}

}  // namespace

int main() {
  constexpr int kPages = 10000;
  std::vector<Page> standard, frontMatter, mixed;
  for (int i = 0; i < kPages; ++i) {
    standard.push_back(standardPage(i));
    frontMatter.push_back(frontMatterPage(i));
    mixed.push_back(i % 2 == 0 ? standard.back() : frontMatter.back());
  }
  auto parse = [](const Page& page) {
    FileMeta meta = corvanta::parseMetadata(page.filename, page.text, "");
    return meta.title.size() + meta.domain.size() + meta.savedAt.size();
  };
  auto summarise = [](const Page& page) {
    return corvanta::extractSummary(page.text, 120).value_or("").size();
  };
  nanosecondsPerPage(mixed, parse);  // warm the per-thread ICU formatters

  std::printf("pages: %d, about %zu bytes each\n", kPages, standard[0].text.size());
  std::printf("parseMetadata, standard header:   %8.0f ns/page\n",
              nanosecondsPerPage(standard, parse));
  std::printf("parseMetadata, front matter:      %8.0f ns/page\n",
              nanosecondsPerPage(frontMatter, parse));
  std::printf("parseMetadata, half and half:     %8.0f ns/page\n",
              nanosecondsPerPage(mixed, parse));
  std::printf("extractSummary, half and half:    %8.0f ns/page\n",
              nanosecondsPerPage(mixed, summarise));
  return 0;
}
