// The file seam on Linux: real files, at the Unix paths the Windows paths map
// to. Windows' sharing modes have no POSIX counterpart that other programs
// would honour, so only the checks that can be made are made.
#include "gamefiles/file_system_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <utility>

#include "gamefiles/io_posix.h"
#include "gamefiles/temp_file_posix.h"

namespace corvaldo {
namespace {

// What a file was when a run read it: its file system, its size, and its
// modification and change times. A write through any name moves both times,
// to the file system's tick, and a file put in its place by a rename has its
// own (its change time is the rename's). Not the inode: FUSE file systems
// (exFAT, FAT) number a file anew for each spelling it is looked up under,
// and whenever the kernel has forgotten it.
struct Stamp {
  bool present = false;
  dev_t device = 0;
  off_t size = 0;
  struct timespec modified {};
  struct timespec changed {};
};

Stamp StampOf(const struct stat& st) {
  return {true, st.st_dev, st.st_size, st.st_mtim, st.st_ctim};
}

bool operator==(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool Unchanged(const Stamp& was, const struct stat& st) {
  return was.present && was.device == st.st_dev && was.size == st.st_size &&
         was.modified == st.st_mtim && was.changed == st.st_ctim;
}

// Why a copy or a replacement was refused, where no system call failed.
constexpr const char* kChangedSinceRead = "Changed by another program since it was read";

// Whether `path` is still what `was` says: the same file, unchanged, or still
// missing.
bool StillAsRead(const Stamp& was, const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return !was.present && errno == ENOENT;
  return Unchanged(was, st);
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// The name under which `folder` lists the existing file `name`, whose status
// is `st`. A case-insensitive file system (exFAT, FAT, NTFS mounted so, ext4
// with casefold) finds the file under any spelling, and a rename made under
// ours would respell it; the new content must take the listed name. Matched
// exactly, else case-insensitively or by inode (names beyond ASCII on the
// kernel's file systems).
std::string ListedName(const std::string& folder, const std::string& name, const struct stat& st) {
  const Listing listing = OpenListing(folder);
  if (!listing) return name;
  std::string listed;
  while (const dirent* entry = readdir(listing.get())) {
    const std::string_view entryName = entry->d_name;
    if (entryName == name) {
      listed = name;
      break;
    }
    if (!listed.empty() || entryName == "." || entryName == "..") continue;
    struct stat other;
    if (SameIgnoringAsciiCase(entryName, name) ||
        (entry->d_ino == st.st_ino &&
         fstatat(dirfd(listing.get()), entry->d_name, &other, AT_SYMLINK_NOFOLLOW) == 0 &&
         other.st_dev == st.st_dev && other.st_ino == st.st_ino)) {
      listed = entryName;
    }
  }
  return listed.empty() ? name : listed;
}

class PosixFileWriter : public FileWriter {
 public:
  // `asRead`: what the run read at the target, which must still be there
  // when the new content is swapped in; `landed` is called once it is.
  PosixFileWriter(FileSystem& fs, std::string target, TempFile temp, mode_t mode,
                  std::optional<struct stat> original, std::optional<Stamp> asRead,
                  std::function<void()> landed)
      : fs_(fs),
        target_(std::move(target)),
        temp_(std::move(temp)),
        mode_(mode),
        original_(std::move(original)),
        asRead_(asRead),
        landed_(std::move(landed)) {
    buffer_.reserve(kBufferSize);
  }

  bool Write(std::string_view bytes) override {
    if (failed_ || finished_) return false;
    if (buffer_.empty() && bytes.size() >= kBufferSize) {
      // Already a large chunk: no point copying it first.
      if (!WriteAll(temp_.fd(), bytes.data(), bytes.size())) Fail();
      return !failed_;
    }
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferSize && !Flush()) Fail();
    return !failed_;
  }

  bool Commit() override {
    if (finished_) return false;
    bool ok = !failed_ && Flush();
    if (ok && original_) KeepOwner(temp_.fd(), *original_);
    ok = ok && SetMode(temp_.fd(), mode_) && fsync(temp_.fd()) == 0;
    // Whatever another program made of the target since the run read it is
    // never written over.
    const bool changed = ok && asRead_ && !StillAsRead(*asRead_, target_);
    ok = ok && !changed && temp_.Keep(target_);
    finished_ = true;
    if (!ok) {
      // A write that failed before has given its reason already.
      if (!failed_) fs_.SetFailureReason(changed ? kChangedSinceRead : SystemReason(errno));
      temp_.Discard();
      return false;
    }
    landed_();
    return true;
  }

 private:
  bool Flush() {
    bool ok = WriteAll(temp_.fd(), buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
  }

  void Fail() {
    failed_ = true;
    fs_.SetFailureReason(SystemReason(errno));
  }

  FileSystem& fs_;
  std::string target_;
  TempFile temp_;  // discarded when dropped unkept
  mode_t mode_;
  std::optional<struct stat> original_;
  std::optional<Stamp> asRead_;
  std::function<void()> landed_;
  std::string buffer_;
  bool failed_ = false;
  bool finished_ = false;
};

// The hold on an installation: an flock on its folder, which the kernel lets
// go with the descriptor, also when the process dies.
class FolderLock final : public InstallationLock {
 public:
  explicit FolderLock(Descriptor folder) : folder_(std::move(folder)) {}

 private:
  Descriptor folder_;
};

// A preview's writer: the checks are made, nothing is kept, nothing lands.
class CheckedOnlyWriter : public FileWriter {
 public:
  bool Write(std::string_view) override { return true; }
  bool Commit() override { return false; }
};

class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem(PathMap map, bool unnamedTemps, bool preview)
      : map_(std::move(map)), unnamedTemps_(unnamedTemps), preview_(preview) {}

  // An flock on the install folder itself: the kernel keys it to the folder,
  // whatever path leads there, and no file is made that could be left
  // behind. Polled, so that the wait is bounded without a signal.
  LockResult LockInstallation(const std::string& installDir,
                              std::chrono::milliseconds wait) override {
    LockResult result;
    if (preview_) return result;  // a dry run writes nothing, so holds nothing up
    std::optional<std::string> mapped = map_(installDir + "\\", false);
    if (!mapped) return result;
    Descriptor folder(open(mapped->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return result;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      if (flock(folder.get(), LOCK_EX | LOCK_NB) == 0) {
        result.status = LockStatus::Held;
        result.lock = std::make_unique<FolderLock>(std::move(folder));
        return result;
      }
      const int error = errno;
      if (error == EINTR) continue;
      const auto now = std::chrono::steady_clock::now();
      if (error != EWOULDBLOCK || now >= deadline) {
        if (error == EWOULDBLOCK) result.status = LockStatus::Busy;
        return result;
      }
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          std::chrono::milliseconds(20), deadline - now));
    }
  }

  ReadResult ReadFile(const std::string& path) override {
    SetFailureReason({});
    ReadResult result;
    if (path.size() > kMaxPathLength) {
      Fail(ENAMETOOLONG);
      result.status = ReadStatus::PathTooLong;
      return result;
    }
    read_.erase(path);
    std::optional<std::string> mapped = map_(path, false);
    if (!mapped) {
      // A folder on the way that cannot be searched hides whether the file is there.
      if (!Absent(errno)) {
        result.status = Unreadable(errno);
        return result;
      }
      read_[path] = Stamp{};
      return result;  // Missing
    }
    Visit(SplitFolder(*mapped).first);
    // O_NONBLOCK keeps a FIFO from hanging the open; it is refused below.
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    // A preview leaves even the access time alone.
    const Descriptor fd(preview_ ? OpenUntimed(AT_FDCWD, mapped->c_str(), kFlags)
                                 : open(mapped->c_str(), kFlags));
    if (!fd.valid()) {
      result.status = Absent(errno) ? ReadStatus::Missing : Unreadable(errno);
      if (result.status == ReadStatus::Missing) read_[path] = Stamp{};
      return result;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0) {
      result.status = Unreadable(errno);
      return result;
    }
    if (!S_ISREG(st.st_mode)) {
      result.status = Unreadable(S_ISDIR(st.st_mode) ? EISDIR : 0);
      return result;
    }
    // Taken before the first byte is read: a write while it is read moves it.
    read_[path] = StampOf(st);
    // Out of memory, it throws: the caller reports it.
    const bool ok = ReadAll(fd.get(), static_cast<std::size_t>(st.st_size), result.bytes);
    if (!ok) Fail(errno);
    result.status = ok ? ReadStatus::Ok : ReadStatus::ReadError;
    return result;
  }

  bool Exists(const std::string& path) override {
    SetFailureReason({});
    if (path.size() > kMaxPathLength) return false;
    std::optional<std::string> mapped = map_(path, false);
    struct stat st;
    return mapped && stat(mapped->c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  bool CopyNoReplace(const std::string& from, const std::string& to) override {
    SetFailureReason({});
    if (from.size() > kMaxPathLength || to.size() > kMaxPathLength) return Fail(ENAMETOOLONG);
    std::optional<std::string> source = map_(from, false);
    if (!source) return Fail(errno);
    std::optional<std::string> target = map_(to, true);
    if (!target) return Fail(errno);
    Visit(SplitFolder(*target).first);
    struct stat st;
    if (lstat(target->c_str(), &st) == 0) return Fail(EEXIST);
    if (errno != ENOENT) return Fail(errno);

    const Descriptor in(open(source->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in.valid()) return Fail(errno);
    // Only a copy of what the run read: the file it judged, as it judged it.
    const auto asRead = read_.find(from);
    if (asRead != read_.end()) {
      if (fstat(in.get(), &st) != 0) return Fail(errno);
      if (!Unchanged(asRead->second, st)) {
        SetFailureReason(kChangedSinceRead);
        return false;
      }
    }
    const bool copied = preview_ ? CouldCreateIn(SplitFolder(*target).first, in.get())
                                 : CopyVia(in.get(), *target, unnamedTemps_);
    return copied || Fail(errno);
  }

  std::unique_ptr<FileWriter> OpenForReplace(const std::string& path) override {
    SetFailureReason({});
    if (path.size() > kMaxPathLength) return Refuse(ENAMETOOLONG);
    std::optional<std::string> mapped = map_(path, true);
    if (!mapped) return Refuse(errno);
    std::string target = *mapped;
    mode_t mode = 0644;
    std::optional<struct stat> original;
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) {
      if (S_ISLNK(st.st_mode)) {
        // Writing through a link changes the file it points to, not the link.
        char* real = realpath(target.c_str(), nullptr);
        if (real == nullptr) return Refuse(errno);
        target = real;
        std::free(real);
        if (stat(target.c_str(), &st) != 0) return Refuse(errno);
      }
      if (!S_ISREG(st.st_mode)) return Refuse(S_ISDIR(st.st_mode) ? EISDIR : 0);
      // Root passes every permission check, so a file without any write bit
      // counts as read-only, as Wine reports it to Windows programs.
      if ((st.st_mode & 0222) == 0) return Refuse(EACCES);
      if (access(target.c_str(), W_OK) != 0) return Refuse(errno);
      mode = st.st_mode & 07777;
      original = st;
      const auto [folder, name] = SplitFolder(target);
      target = folder + "/" + ListedName(folder, name, st);
    } else if (errno != ENOENT) {
      return Refuse(errno);
    }
    const std::string folder = SplitFolder(target).first;
    if (!CanCreateIn(folder)) return Refuse(errno);
    if (preview_) return std::make_unique<CheckedOnlyWriter>();
    Visit(folder);
    std::optional<TempFile> temp =
        TempFile::CreateBeside(folder, SplitFolder(target).second, unnamedTemps_);
    if (!temp) return Refuse(errno);
    std::optional<Stamp> asRead;
    if (const auto read = read_.find(path); read != read_.end()) asRead = read->second;
    // The new content is this run's own: what it read there no longer counts.
    return std::make_unique<PosixFileWriter>(*this, std::move(target), std::move(*temp), mode,
                                             std::move(original), asRead,
                                             [this, path] { read_.erase(path); });
  }

  bool Remove(const std::string& path) override {
    SetFailureReason({});
    if (path.size() > kMaxPathLength) return Fail(ENAMETOOLONG);
    std::optional<std::string> mapped = map_(path, false);
    if (!mapped) return Fail(errno);
    // lstat and unlink both stop at a link: the link goes, what it points to
    // stays. A file without any write bit is one Wine shows as read-only,
    // which Windows would not delete either.
    struct stat st;
    if (lstat(mapped->c_str(), &st) != 0) return Fail(errno);
    if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
    if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) return Fail(EACCES);
    const std::string folder = SplitFolder(*mapped).first;
    if (preview_) return access(folder.c_str(), W_OK | X_OK) == 0 || Fail(errno);
    if (unlink(mapped->c_str()) != 0) return Fail(errno);
    SyncFolder(folder);
    return true;
  }

 private:
  // Copies the open source to `target` through a temporary file, so that
  // `target` appears complete or not at all.
  // On failure errno tells why.
  static bool CopyVia(int in, const std::string& target, bool unnamedTemps) {
    struct stat source;
    if (fstat(in, &source) != 0) return false;
    if (!S_ISREG(source.st_mode)) return NotRegular(source);
    const auto [folder, name] = SplitFolder(target);
    std::optional<TempFile> temp = TempFile::CreateBeside(folder, name, unnamedTemps);
    if (!temp) return false;
    // A file written while it was copied gives no copy of anything.
    struct stat after;
    const bool ok = CopyData(in, temp->fd()) && fstat(in, &after) == 0 &&
                    Unchanged(StampOf(source), after) && FinishCopy(temp->fd(), source);
    // Not kept, the temporary file is discarded as it is dropped.
    return ok && temp->KeepNoReplace(target);
  }

  // What a copy of the open regular file `in` into `folder` needs. On
  // failure errno tells why.
  static bool CouldCreateIn(const std::string& folder, int in) {
    struct stat source;
    if (fstat(in, &source) != 0) return false;
    if (!S_ISREG(source.st_mode)) return NotRegular(source);
    return CanCreateIn(folder);
  }

  // False, with errno saying so where one fits (a folder), else none.
  static bool NotRegular(const struct stat& st) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : 0;
    return false;
  }

  // Missing rather than unreadable: nothing there, a folder on the way
  // missing or not a folder, or a path that names no file in the prefix.
  static bool Absent(int error) { return error == ENOENT || error == ENOTDIR || error == EINVAL; }

  ReadStatus Unreadable(int error) {
    Fail(error);
    return ReadStatus::Unreadable;
  }

  // Records the system's reason for the failure; false, for a refusal.
  bool Fail(int error) {
    SetFailureReason(SystemReason(error));
    return false;
  }

  std::unique_ptr<FileWriter> Refuse(int error) {
    Fail(error);
    return nullptr;
  }

  // The first time a run touches a folder, it clears what killed runs left
  // there; a preview leaves them.
  void Visit(const std::string& folder) {
    if (!preview_ && visited_.insert(folder).second) RemoveStaleTemps(folder);
  }

  PathMap map_;
  bool unnamedTemps_;
  bool preview_;
  std::set<std::string> visited_;
  // What each file was when this run last read it, by the path it was read at.
  std::map<std::string, Stamp> read_;
};

}  // namespace

std::unique_ptr<FileSystem> MakePosixFileSystem(PathMap map, bool unnamedTemps, bool preview) {
  return std::make_unique<PosixFileSystem>(std::move(map), unnamedTemps, preview);
}

}  // namespace corvaldo
