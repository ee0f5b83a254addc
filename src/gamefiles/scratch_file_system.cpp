#include "gamefiles/scratch_file_system.h"

#include <utility>

namespace corvaldo {

class ScratchFileSystem::Writer final : public FileWriter {
 public:
  Writer(ScratchFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}

  bool Write(std::string_view bytes) override {
    if (committed_) return false;
    content_.append(bytes);
    return true;
  }

  bool Commit() override {
    if (committed_) return false;
    committed_ = true;
    fs_.files_[path_] = std::move(content_);
    return true;
  }

 private:
  ScratchFileSystem& fs_;
  std::string path_;
  std::string content_;
  bool committed_ = false;
};

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
  return std::make_unique<Writer>(*this, path);
}

}  // namespace corvaldo
