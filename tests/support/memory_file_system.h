// A FileSystem held in memory, for tests: files keyed by their exact Windows
// path, with read-only and locked files, one injectable fault, and a kill at
// any operation. Like the platform's, the first touch of a folder in a run
// removes the temporary files an earlier (killed) run left there, a copy or a
// replacement of a file the run read goes ahead only while it holds what was
// read, and the installation is locked against other runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gamefiles/file_system.h"

namespace corvaldo {

class MemoryFileSystem : public FileSystem {
 public:
  enum class Op { Lock, OpenRead, Read, Exists, Copy, OpenReplace, Write, Flush, Replace, Remove };

  // Fails the `occurrence`-th operation of kind `op` (counting from 1). A Read
  // fault delivers the first `atByte` bytes and then fails; a Write fault
  // fails the `occurrence`-th writer once its temporary file holds `atByte`
  // bytes. A Lock fault finds the installation held by another run.
  struct Fault {
    Op op = Op::OpenRead;
    int occurrence = 1;
    std::size_t atByte = 0;
  };

  // Adds the file and all folders above it.
  void AddFile(const std::string& path, std::string content);
  void AddFolder(const std::string& path);
  void RemoveFile(const std::string& path) { files_.erase(path); }
  void SetReadOnly(const std::string& path) { readOnly_.insert(path); }
  // As if another process held the file open for writing (nor may it be
  // removed).
  void SetLocked(const std::string& path) { locked_.insert(path); }
  void InjectFault(Fault fault) { fault_ = fault; }
  // As if another run held the installation for the whole wait.
  void SetHeldElsewhere() { heldElsewhere_ = true; }
  // As the platform's for a dry run: writing operations only check (a copy
  // reports whether it could be made, a writer keeps nothing and never
  // commits) and no temporary files are cleared.
  void SetPreview() { preview_ = true; }
  // The process dies just before its `operation`-th operation (counting from
  // 1). AfterKill() is then the disk it leaves, temporary files included, for
  // the next run: the same folders and files, no fault, nothing logged. Absent
  // when the run ended before that operation.
  void KillBefore(std::size_t operation) { killBefore_ = operation; }
  std::optional<MemoryFileSystem> AfterKill() const;

  std::optional<std::string> Content(const std::string& path) const;
  const std::map<std::string, std::string>& Files() const { return files_; }
  // Every operation so far, in order, with its path.
  const std::vector<std::pair<Op, std::string>>& Log() const { return log_; }
  // Bytes each writer put into its temporary file, in the order opened.
  const std::vector<std::size_t>& WrittenBytes() const { return writtenBytes_; }
  static bool IsTemporaryName(const std::string& path);
  // Whether the run holds the installation now; the wait it last asked for;
  // how many operations it made without holding it.
  bool LockHeld() const { return lockHeld_; }
  std::chrono::milliseconds LockWait() const { return lockWait_; }
  int UnlockedOperations() const { return unlockedOperations_; }

  // The reason a failure gives (FailureReason): an injected fault's, by the
  // kind of operation, and a read-only or locked file's.
  static const char* ReasonFor(Op op);
  static constexpr const char* kReadOnlyReason = "Read-only file system";
  static constexpr const char* kLockedReason = "Text file busy";
  static constexpr const char* kChangedReason = "Changed by another program since it was read";

  LockResult LockInstallation(const std::string& installDir,
                              std::chrono::milliseconds wait) override;
  ReadResult ReadFile(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool CopyNoReplace(const std::string& from, const std::string& to) override;
  std::unique_ptr<FileWriter> OpenForReplace(const std::string& path) override;
  // Refused for read-only and locked files; a preview only checks.
  bool Remove(const std::string& path) override;

 private:
  class Writer;
  class Lock;
  // Logs the operation; true when it is the one to fail.
  bool Count(Op op, const std::string& path);
  static std::string FolderOf(const std::string& path);
  void Visit(const std::string& path);
  // Whether `path` holds what the run read there (when it read it).
  bool AsRead(const std::string& path) const;

  std::map<std::string, std::string> files_;
  std::set<std::string> folders_;
  std::set<std::string> readOnly_;
  std::set<std::string> locked_;
  std::optional<Fault> fault_;
  std::map<Op, int> counts_;
  std::vector<std::pair<Op, std::string>> log_;
  std::vector<std::size_t> writtenBytes_;
  std::set<std::string> visited_;
  std::optional<std::size_t> killBefore_;
  bool preview_ = false;
  std::optional<std::map<std::string, std::string>> filesAtKill_;
  // What each path held when the run last read it (nothing: missing).
  std::map<std::string, std::optional<std::string>> read_;
  bool heldElsewhere_ = false;
  bool lockHeld_ = false;
  std::chrono::milliseconds lockWait_{0};
  int unlockedOperations_ = 0;
};

}  // namespace corvaldo
