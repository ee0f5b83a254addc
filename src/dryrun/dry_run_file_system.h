// A dry run's files: everything is read from the real files and decided as in
// a real run, and what would be written stays in memory.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "gamefiles/file_system.h"

namespace corvaldo {

class DryRunFileSystem final : public FileSystem {
 public:
  // What the run would have written, in the order it would have.
  struct Change {
    enum class Kind { Copy, Rewrite, Remove };
    Kind kind;
    std::string path;  // the file rewritten, the copy made, or the name removed
    std::string from;  // a copy's source
  };

  // `real` is read, and asked whether each write would go ahead. It must be
  // one whose writing operations only check (MakePosixFileSystem's
  // `preview`): this one never commits a writer it opens there.
  explicit DryRunFileSystem(FileSystem& real) : real_(real) {}

  // Each copy once, and each rewritten file once, where it was first written.
  const std::vector<Change>& Changes() const { return changes_; }
  // The whole content a rewritten file would have.
  const std::string& Rewritten(const std::string& path) const { return written_.at(path); }

  // A dry run takes no lock: it writes nothing, so it holds no run up, and
  // waits for none.
  LockResult LockInstallation(const std::string&, std::chrono::milliseconds) override { return {}; }
  // What the run would see: its own writes and copies, else the real files.
  ReadResult ReadFile(const std::string& path) override;
  bool Exists(const std::string& path) override;
  // Kept when the real file system says the copy could be made.
  bool CopyNoReplace(const std::string& from, const std::string& to) override;
  // A writer into memory, when the real file system says the file may be
  // replaced; its Commit always lands.
  std::unique_ptr<FileWriter> OpenForReplace(const std::string& path) override;
  // Kept when the real file system says the name could be removed; the run
  // then sees no file there until it writes one.
  bool Remove(const std::string& path) override;

 private:
  // What a committed rewrite of `path` leaves: its content, and the change.
  void Rewritten(const std::string& path, std::string content);

  FileSystem& real_;
  // The content of files written here (rewrites, and copies of them).
  std::map<std::string, std::string> written_;
  // Copies of real files, by the source they stand for: a dry run never
  // changes the source, and the copy costs no memory.
  std::map<std::string, std::string> copies_;
  // Names removed, and not written since.
  std::set<std::string> removed_;
  std::vector<Change> changes_;
};

}  // namespace corvaldo
