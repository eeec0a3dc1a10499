#include "integrations/index_file_batch.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

// The knowledge bases' names only. Their page counts and dates, which the store's
// listing computes by reading the date of every page, play no part here, and on
// a large vault that reading would cost the prompt as much as the searches do.
// The order does not matter to the hook: hits are summed per page.
std::vector<std::string> knowledgeBaseNames(const std::string& root) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    std::error_code typeError;
    if (it->is_directory(typeError)) names.push_back(std::move(name));
  }
  return names;
}

}  // namespace

IndexFileBatch::IndexFileBatch(const KestFileManager& fileManager,
                               const std::vector<std::string>& keywords)
    : fileManager_(fileManager), keywords_(keywords) {}

void IndexFileBatch::list() {
  for (std::string& kb : knowledgeBaseNames(fileManager_.resolvedRoot())) {
    std::string path;
    try {
      path = fileManager_.resolvedPath(kb, "_index.md");
    } catch (const std::exception&) {
      // A folder whose name no knowledge base may have: no path, nothing to scan.
    }
    entries_.push_back({std::move(kb), std::nullopt});
    paths_.push_back(std::move(path));
  }
}

void IndexFileBatch::scanSome() noexcept {
  try {
    std::call_once(listed_, [this] { list(); });
    std::optional<IndexFileScanner> scanner;  // made on the first file this thread takes
    for (size_t i = next_++; i < entries_.size(); i = next_++) {
      if (paths_[i].empty()) continue;
      if (!scanner) scanner.emplace(keywords_);
      entries_[i].scanned = scanner->scanFile(paths_[i]);
    }
  } catch (...) {
    std::lock_guard lock(failureMutex_);
    if (!failure_) failure_ = std::current_exception();
  }
}

std::vector<IndexFileBatch::Entry>& IndexFileBatch::entries() {
  if (failure_) std::rethrow_exception(failure_);
  return entries_;
}

}  // namespace corvanta
