#include "gamefiles/scratch_file_system.h"

#include <utility>

#include "gamefiles/memory_writer.h"

namespace corvaldo {

const std::string* ScratchFileSystem::Find(const std::string& path) const {
  const auto it = files_.find(path);
  return it == files_.end() ? nullptr : &it->second;
}

ReadResult ScratchFileSystem::ReadFile(const std::string& path) {
  const std::string* content = Find(path);
  if (content == nullptr) return {ReadStatus::Missing, {}};
  // The reader may change its bytes in place; the file keeps its own.
  return {ReadStatus::Ok, FileBytes(*content)};
}

bool ScratchFileSystem::CopyNoReplace(const std::string& from, const std::string& to) {
  const std::string* content = Find(from);
  if (content == nullptr || files_.count(to) != 0) return false;
  files_[to] = *content;
  return true;
}

std::unique_ptr<FileWriter> ScratchFileSystem::OpenForReplace(const std::string& path) {
  return std::make_unique<MemoryWriter>(
      [this, path](std::string content) { files_[path] = std::move(content); });
}

}  // namespace corvaldo
