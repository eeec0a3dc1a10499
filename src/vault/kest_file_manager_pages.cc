// The vault store's page and topic operations.
//
// Several processes may save into one knowledge base at the same moment, so a
// new page's name is never chosen by checking and then writing: the finished
// file is linked under the candidate name, which fails when the name is taken,
// and the next candidate is tried. No save can replace another one's page.
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/atomic_file.h"
#include "platform/unicode_text.h"
#include "search/search_index.h"
#include "vault/folder_entries.h"
#include "vault/kest_file_manager.h"
#include "vault/page_metadata.h"
#include "vault/text_file.h"
#include "vault/vault_names.h"
#include "vault/vault_path_error.h"

namespace corvanta {
namespace {

constexpr int kMaxConflictSuffix = 1000;
constexpr std::string_view kTopicPrefix = "_topic-";
constexpr std::string_view kMarkdown = ".md";

// Anything at all, a dangling symbolic link included, occupies a name.
bool entryExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

void createFolderIfMissing(const std::string& folder) {
  if (!entryExists(folder)) std::filesystem::create_directories(folder);
}

void requireMarkdownName(const std::string& filename) {
  if (!filename.ends_with(kMarkdown)) {
    throw VaultPathError::invalidName("Filename must end with .md");
  }
}

// The name without its last extension ("note.md" -> "note", "a.b.md" -> "a.b").
std::string baseName(const std::string& filename) {
  size_t dot = filename.rfind('.');
  return dot == std::string::npos ? filename : filename.substr(0, dot);
}

bool matchesFilter(const FileMeta& meta, const std::string& loweredFilter) {
  std::string haystack = toLowerCase(meta.title + " " + meta.domain + " " + meta.url);
  return haystack.find(loweredFilter) != std::string::npos;
}

}  // namespace

template <typename Claim>
std::string KestFileManager::claimUniqueName(const std::string& kb, const std::string& filename,
                                             Claim claim) const {
  const std::string base = baseName(filename);
  for (int n = 1; n <= kMaxConflictSuffix; ++n) {
    std::string candidate = n == 1 ? filename : base + "-" + std::to_string(n) + ".md";
    std::string path = resolvedPath(kb, candidate);
    // The check only spares a doomed attempt; the claim itself decides.
    if (entryExists(path)) continue;
    if (claim(path)) return candidate;
  }
  throw VaultPathError::invalidName("Too many filename conflicts");
}

std::vector<SavedFile> KestFileManager::listFiles(const std::string& kb,
                                                  const std::optional<std::string>& filter) const {
  try {
    const std::string folder = resolvedPath(kb);
    auto names = folderEntryNames(folder);
    if (!names) return {};
    const std::string loweredFilter = filter ? toLowerCase(*filter) : std::string();

    std::vector<SavedFile> files;
    for (const std::string& name : *names) {
      if (!isPageFileName(name)) continue;
      const std::string path = folder + "/" + name;
      auto file = readTextFile(path);
      if (!file) continue;
      FileMeta meta = parseMetadata(name, file->text, path);
      if (!loweredFilter.empty() && !matchesFilter(meta, loweredFilter)) continue;
      SavedFile saved;
      saved.filename = name;
      saved.title = meta.title.empty() ? name : meta.title;
      saved.url = meta.url;
      saved.domain = meta.domain;
      saved.templateName = meta.templateName;
      saved.savedAt = dateFromSavedAt(meta.savedAt);
      files.push_back(std::move(saved));
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const SavedFile& a, const SavedFile& b) { return a.savedAt > b.savedAt; });
    return files;
  } catch (const std::exception&) {
    return {};
  }
}

std::optional<std::string> KestFileManager::readFile(const std::string& kb,
                                                     const std::string& filename) const {
  try {
    if (auto file = readTextFile(resolvedPath(kb, filename))) return std::move(file->text);
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::string KestFileManager::writeFile(const std::string& kb, const std::string& filename,
                                       const std::string& content, const FileMeta& meta) {
  validateName(filename, "Filename");
  requireMarkdownName(filename);
  const std::string folder = resolvedPath(kb);
  createFolderIfMissing(folder);

  // Written once, then linked under the first name still free.
  const std::string temporary = writeTemporarySibling(folder + "/" + filename, content);
  std::string written;
  try {
    written = claimUniqueName(kb, filename, [&](const std::string& path) {
      return moveWithoutReplacing(temporary, path);
    });
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  searchIndex().upsertPage(kb, written, meta.title, meta.domain, meta.url,
                           stripFrontmatter(content));
  return written;
}

void KestFileManager::editFile(const std::string& kb, const std::string& filename,
                               const std::string& content) {
  validateName(filename, "Filename");
  requireMarkdownName(filename);
  if (filename.starts_with('_')) {
    throw VaultPathError::invalidName("Cannot edit system files (filenames starting with '_')");
  }
  const std::string path = resolvedPath(kb, filename);
  if (!entryExists(path)) {
    throw VaultPathError::invalidName("File '" + filename + "' does not exist in '" + kb + "'");
  }
  writeFileAtomically(path, content);
  // Indexed from the disk rather than from `content`: when two edits of this page
  // race, the row must end as the file that won, not as the last to be indexed.
  searchIndex().refreshPage(kb, filename, path);
}

void KestFileManager::moveFile(const std::string& kb, const std::string& filename,
                               const std::string& targetKb) {
  const std::string source = resolvedPath(kb, filename);
  createFolderIfMissing(resolvedPath(targetKb));
  if (kb == targetKb) return;
  if (!entryExists(source)) {
    throw std::filesystem::filesystem_error(
        "Cannot move file", source, std::make_error_code(std::errc::no_such_file_or_directory));
  }
  const std::string moved = claimUniqueName(targetKb, filename, [&](const std::string& path) {
    return moveWithoutReplacing(source, path);
  });

  // The row follows the page. Left under its old place, the page would be found
  // where it no longer is and never where it now is: an index that is not empty
  // is never rebuilt.
  SearchIndex& index = searchIndex();
  index.removePage(kb, filename);
  if (isPageFileName(moved)) index.refreshPage(targetKb, moved, resolvedPath(targetKb, moved));
}

void KestFileManager::deleteFile(const std::string& kb, const std::string& filename) {
  const std::string path = resolvedPath(kb, filename);
  if (!std::filesystem::remove(path)) {
    throw std::filesystem::filesystem_error(
        "Cannot delete file", path, std::make_error_code(std::errc::no_such_file_or_directory));
  }
  // Checked against the disk: a save that claimed the freed name meanwhile keeps
  // the row it wrote.
  searchIndex().refreshPage(kb, filename, path);
}

void KestFileManager::writeTopic(const std::string& kb, const std::string& slug,
                                 const std::string& content) {
  const std::string name = std::string(kTopicPrefix) + slug + std::string(kMarkdown);
  validateName(name, "Topic filename");
  createFolderIfMissing(resolvedPath(kb));
  writeFileAtomically(resolvedPath(kb, name), content);
}

std::vector<TopicEntry> KestFileManager::listTopics(const std::string& kb) const {
  try {
    auto names = folderEntryNames(resolvedPath(kb));
    if (!names) return {};
    std::vector<std::string> topics;
    for (const std::string& name : *names) {
      if (name.starts_with(kTopicPrefix) && name.ends_with(kMarkdown)) topics.push_back(name);
    }
    std::sort(topics.begin(), topics.end());
    std::vector<TopicEntry> entries;
    for (const std::string& name : topics) {
      // The affixes cannot overlap ("-" against "."), so the slug is what lies
      // between them, possibly empty.
      size_t length = name.size() - kTopicPrefix.size() - kMarkdown.size();
      entries.push_back({name.substr(kTopicPrefix.size(), length), name});
    }
    return entries;
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace corvanta
