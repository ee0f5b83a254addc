// Files that live in memory only: a restore runs the patches here over a
// backup's bytes, to learn what they make of it, and nothing reaches a disk.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "gamefiles/file_system.h"

namespace corvaldo {

class ScratchFileSystem final : public FileSystem {
 public:
  void Put(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }
  // The file's content, or null when there is none.
  const std::string* Find(const std::string& path) const;

  // Every operation succeeds where a file system with no limits would: a
  // read sees the whole file, a copy needs a free name, a replacement lands
  // on commit.
  // Nothing but this run sees it.
  LockResult LockInstallation(const std::string&, std::chrono::milliseconds) override { return {}; }
  ReadResult ReadFile(const std::string& path) override;
  bool Exists(const std::string& path) override { return files_.count(path) != 0; }
  bool CopyNoReplace(const std::string& from, const std::string& to) override;
  std::unique_ptr<FileWriter> OpenForReplace(const std::string& path) override;
  bool Remove(const std::string& path) override { return files_.erase(path) != 0; }

 private:
  std::map<std::string, std::string> files_;
};

}  // namespace corvaldo
