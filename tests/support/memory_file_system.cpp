#include "support/memory_file_system.h"

namespace corvaldo {
namespace {

const char kTemporarySuffix[] = "~corvaldo.tmp";

}  // namespace

const char* MemoryFileSystem::ReasonFor(Op op) {
  switch (op) {
    case Op::Lock:
      return "Resource temporarily unavailable";
    case Op::OpenRead:
      return "Permission denied";
    case Op::Read:
      return "Input/output error";
    case Op::Exists:
      return "";
    case Op::Copy:
      return "No space left on device";
    case Op::OpenReplace:
      return "Operation not permitted";
    case Op::Write:
      return "File too large";
    case Op::Flush:
      return "Disk quota exceeded";
    case Op::Replace:
      return "Device or resource busy";
    case Op::Remove:
      return "Operation not permitted";
  }
  return "";
}

class MemoryFileSystem::Writer final : public FileWriter {
 public:
  Writer(MemoryFileSystem& fs, std::string path, std::optional<std::size_t> failAt)
      : fs_(fs), path_(std::move(path)), temp_(path_ + kTemporarySuffix), failAt_(failAt) {
    fs_.files_[temp_];
    index_ = fs_.writtenBytes_.size();
    fs_.writtenBytes_.push_back(0);
  }
  ~Writer() override {
    if (!committed_) fs_.files_.erase(temp_);
  }

  bool Write(std::string_view bytes) override {
    if (failed_) return false;
    if (!loggedWrite_) {
      loggedWrite_ = true;
      fs_.Count(Op::Write, path_);
    }
    std::string& temp = fs_.files_[temp_];
    if (failAt_ && temp.size() + bytes.size() >= *failAt_ && !bytes.empty()) {
      temp.append(bytes.substr(0, *failAt_ - temp.size()));
      fs_.writtenBytes_[index_] = temp.size();
      failed_ = true;
      fs_.SetFailureReason(ReasonFor(Op::Write));
      return false;
    }
    temp.append(bytes);
    fs_.writtenBytes_[index_] = temp.size();
    return true;
  }

  bool Commit() override {
    if (failed_ || committed_) return false;
    for (const Op op : {Op::Flush, Op::Replace}) {
      if (fs_.Count(op, path_)) {
        failed_ = true;
        fs_.files_.erase(temp_);
        fs_.SetFailureReason(ReasonFor(op));
        return false;
      }
    }
    if (!fs_.AsRead(path_)) {
      failed_ = true;
      fs_.files_.erase(temp_);
      fs_.SetFailureReason(kChangedReason);
      return false;
    }
    auto node = fs_.files_.extract(temp_);
    fs_.files_[path_] = std::move(node.mapped());
    fs_.read_.erase(path_);
    committed_ = true;
    return true;
  }

 private:
  MemoryFileSystem& fs_;
  std::string path_;
  std::string temp_;
  std::optional<std::size_t> failAt_;
  std::size_t index_ = 0;
  bool loggedWrite_ = false;
  bool failed_ = false;
  bool committed_ = false;
};

class MemoryFileSystem::Lock final : public InstallationLock {
 public:
  explicit Lock(MemoryFileSystem& fs) : fs_(fs) { fs_.lockHeld_ = true; }
  ~Lock() override { fs_.lockHeld_ = false; }

 private:
  MemoryFileSystem& fs_;
};

void MemoryFileSystem::AddFile(const std::string& path, std::string content) {
  files_[path] = std::move(content);
  AddFolder(FolderOf(path));
}

void MemoryFileSystem::AddFolder(const std::string& path) {
  std::string folder = path;
  while (!folder.empty()) {
    folders_.insert(folder);
    folder = FolderOf(folder);
  }
}

std::optional<std::string> MemoryFileSystem::Content(const std::string& path) const {
  auto it = files_.find(path);
  if (it == files_.end()) return std::nullopt;
  return it->second;
}

bool MemoryFileSystem::IsTemporaryName(const std::string& path) {
  const std::string suffix = kTemporarySuffix;
  return path.size() >= suffix.size() &&
         path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string MemoryFileSystem::FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::optional<MemoryFileSystem> MemoryFileSystem::AfterKill() const {
  if (!filesAtKill_) return std::nullopt;
  MemoryFileSystem next;
  next.files_ = *filesAtKill_;
  next.folders_ = folders_;
  next.readOnly_ = readOnly_;
  next.locked_ = locked_;
  return next;
}

void MemoryFileSystem::Visit(const std::string& path) {
  if (preview_) return;
  const std::string folder = FolderOf(path);
  if (!visited_.insert(folder).second) return;
  std::erase_if(files_, [&folder](const auto& file) {
    return IsTemporaryName(file.first) && FolderOf(file.first) == folder;
  });
}

bool MemoryFileSystem::AsRead(const std::string& path) const {
  const auto read = read_.find(path);
  return read == read_.end() || Content(path) == read->second;
}

bool MemoryFileSystem::Count(Op op, const std::string& path) {
  if (killBefore_ && log_.size() + 1 == *killBefore_) filesAtKill_ = files_;
  if (op != Op::Lock && !lockHeld_) ++unlockedOperations_;
  log_.emplace_back(op, path);
  const int n = ++counts_[op];
  return fault_ && fault_->op == op && fault_->occurrence == n && op != Op::Read && op != Op::Write;
}

LockResult MemoryFileSystem::LockInstallation(const std::string& installDir,
                                              std::chrono::milliseconds wait) {
  lockWait_ = wait;
  LockResult result;
  if (Count(Op::Lock, installDir) || heldElsewhere_) {
    result.status = LockStatus::Busy;
  } else if (!preview_) {
    result.status = LockStatus::Held;
    result.lock = std::make_unique<Lock>(*this);
  }
  return result;
}

ReadResult MemoryFileSystem::ReadFile(const std::string& path) {
  SetFailureReason({});
  if (path.size() > kMaxPathLength) return {ReadStatus::PathTooLong, {}};
  Visit(path);
  const bool openFails = Count(Op::OpenRead, path);
  read_.erase(path);
  auto it = files_.find(path);
  if (it == files_.end()) {
    read_[path] = std::nullopt;
    return {ReadStatus::Missing, {}};
  }
  if (openFails || locked_.count(path)) {
    SetFailureReason(openFails ? ReasonFor(Op::OpenRead) : kLockedReason);
    return {ReadStatus::Unreadable, {}};
  }
  read_[path] = it->second;
  Count(Op::Read, path);
  if (fault_ && fault_->op == Op::Read && fault_->occurrence == counts_[Op::Read]) {
    SetFailureReason(ReasonFor(Op::Read));
    return {ReadStatus::ReadError, it->second.substr(0, fault_->atByte)};
  }
  return {ReadStatus::Ok, it->second};
}

bool MemoryFileSystem::Exists(const std::string& path) {
  SetFailureReason({});
  if (Count(Op::Exists, path)) return false;
  return files_.count(path) != 0;
}

bool MemoryFileSystem::CopyNoReplace(const std::string& from, const std::string& to) {
  SetFailureReason({});
  Visit(to);
  const auto refuse = [this](const char* reason) {
    SetFailureReason(reason);
    return false;
  };
  if (Count(Op::Copy, to)) return refuse(ReasonFor(Op::Copy));
  auto source = files_.find(from);
  if (source == files_.end() || !folders_.count(FolderOf(to))) {
    return refuse("No such file or directory");
  }
  if (locked_.count(from)) return refuse(kLockedReason);
  if (files_.count(to) || folders_.count(to)) return refuse("File exists");
  if (!AsRead(from)) return refuse(kChangedReason);
  if (!preview_) files_[to] = source->second;
  return true;
}

std::unique_ptr<FileWriter> MemoryFileSystem::OpenForReplace(const std::string& path) {
  SetFailureReason({});
  if (path.size() > kMaxPathLength) return nullptr;
  Visit(path);
  const auto refuse = [this](const char* reason) {
    SetFailureReason(reason);
    return nullptr;
  };
  if (Count(Op::OpenReplace, path)) return refuse(ReasonFor(Op::OpenReplace));
  if (readOnly_.count(path)) return refuse(kReadOnlyReason);
  if (locked_.count(path)) return refuse(kLockedReason);
  if (!folders_.count(FolderOf(path))) return refuse("No such file or directory");
  if (preview_) {
    struct CheckedOnly final : FileWriter {
      bool Write(std::string_view) override { return true; }
      bool Commit() override { return false; }
    };
    return std::make_unique<CheckedOnly>();
  }
  std::optional<std::size_t> failAt;
  const int writer = counts_[Op::OpenReplace];
  if (fault_ && fault_->op == Op::Write && fault_->occurrence == writer) failAt = fault_->atByte;
  return std::make_unique<Writer>(*this, path, failAt);
}

bool MemoryFileSystem::Remove(const std::string& path) {
  SetFailureReason({});
  const auto refuse = [this](const char* reason) {
    SetFailureReason(reason);
    return false;
  };
  if (Count(Op::Remove, path)) return refuse(ReasonFor(Op::Remove));
  if (!files_.count(path)) return refuse("No such file or directory");
  if (readOnly_.count(path)) return refuse(kReadOnlyReason);
  if (locked_.count(path)) return refuse(kLockedReason);
  if (!preview_) files_.erase(path);
  return true;
}

}  // namespace corvaldo
