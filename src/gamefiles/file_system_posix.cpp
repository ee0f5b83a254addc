// The file seam on Linux: real files, at the Unix paths the Windows paths map
// to. Windows' sharing modes have no POSIX counterpart that other programs
// would honour, so only the checks that can be made are made.
#include "gamefiles/file_system_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <random>
#include <set>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace corvaldo {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kMaxNameBytes = 255;

// The system's words for `error`; empty for none.
std::string SystemReason(int error) { return error == 0 ? std::string() : std::strerror(error); }

// Runs `cleanup` without losing the errno of the failure it follows.
template <typename Cleanup>
void KeepingErrno(Cleanup cleanup) {
  const int saved = errno;
  cleanup();
  errno = saved;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;  // no progress and no reason given
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool CopyData(int from, int to) {
  std::vector<char> buffer(kBufferSize);
  for (;;) {
    ssize_t n = read(from, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(n))) return false;
  }
}

// Makes a rename or link in `folder` durable.
void SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

std::pair<std::string, std::string> SplitFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Files at least this big are read into blocks of huge pages: on a virtual
// machine the first touch of each fresh 4 KiB page can cost more than reading
// the page from the cache.
constexpr std::size_t kBigFile = 256 * 1024;
constexpr std::size_t kHugePage = 2 << 20;

void Unmap(char* block, std::size_t capacity) { munmap(block, capacity); }

// A block of at least `size` bytes on huge-page boundaries, asked to be backed
// by huge pages; throws std::bad_alloc like any other allocation.
std::pair<char*, std::size_t> MapBlock(std::size_t size) {
  const std::size_t capacity = (size + kHugePage - 1) / kHugePage * kHugePage;
  const std::size_t span = capacity + kHugePage;
  void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  // Trim the mapping to an aligned block, so that every page of it can be huge.
  char* const start = static_cast<char*>(mapped);
  const auto address = reinterpret_cast<std::uintptr_t>(start);
  const std::size_t head = (kHugePage - address % kHugePage) % kHugePage;
  if (head > 0) munmap(start, head);
  if (span - head > capacity) munmap(start + head + capacity, span - head - capacity);
#ifdef MADV_HUGEPAGE
  madvise(start + head, capacity, MADV_HUGEPAGE);  // only a hint: fine if refused
#endif
  return {start + head, capacity};
}

// A block from MapBlock, given back when dropped (also when a later
// allocation throws) unless handed over to a FileBytes.
class Block {
 public:
  Block() = default;
  explicit Block(std::size_t size) { std::tie(data_, capacity_) = MapBlock(size); }
  Block(Block&& other) noexcept { *this = std::move(other); }
  Block& operator=(Block&& other) noexcept {
    if (this != &other) {
      if (data_) Unmap(data_, capacity_);
      data_ = std::exchange(other.data_, nullptr);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }
  ~Block() {
    if (data_) Unmap(data_, capacity_);
  }
  char* data() const { return data_; }
  std::size_t capacity() const { return capacity_; }
  FileBytes HandOver(std::size_t size) {
    const std::size_t capacity = std::exchange(capacity_, 0);
    return FileBytes(std::exchange(data_, nullptr), size, capacity, &Unmap);
  }

 private:
  char* data_ = nullptr;
  std::size_t capacity_ = 0;
};

// Reads `fd` to its end straight into one buffer sized for `expected` bytes
// (the size the file had when opened), growing it if the file grew meanwhile.
// False on a read error; `out` then holds what was read.
bool ReadAll(int fd, std::size_t expected, FileBytes& out) {
  // One byte over the expected size, so that seeing the end needs no growth.
  std::string small;
  Block block;
  if (expected + 1 < kBigFile) {
    small.resize(expected + 1);
  } else {
    block = Block(expected + 1);
  }
  std::size_t size = 0;
  bool ok = true;
  for (;;) {
    std::size_t capacity = block.data() ? block.capacity() : small.size();
    if (size == capacity) {
      if (!block.data() && capacity * 2 < kBigFile) {
        small.resize(capacity * 2);
      } else {
        Block grown(capacity * 2);
        std::memcpy(grown.data(), block.data() ? block.data() : small.data(), size);
        block = std::move(grown);
        small = std::string();
      }
      capacity = block.data() ? block.capacity() : small.size();
    }
    char* const data = block.data() ? block.data() : small.data();
    const ssize_t n = read(fd, data + size, capacity - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    size += static_cast<std::size_t>(n);
  }
  if (block.data()) {
    out = block.HandOver(size);
  } else {
    small.resize(size);
    out = FileBytes(std::move(small));
  }
  return ok;
}

void KeepOwner(int fd, const struct stat& original) {
  // Matters when run as root over a user's prefix; elsewhere it may fail harmlessly.
  if (fchown(fd, original.st_uid, original.st_gid) != 0) {
  }
}

// Gives the file its mode. A file system that stores none (FAT through FUSE
// answers ENOSYS, the kernel's vfat EPERM, others EOPNOTSUPP) shows every file
// with the mode the mount gives it: nothing to set, and no failure.
bool SetMode(int fd, mode_t mode) {
  return fchmod(fd, mode) == 0 || errno == ENOSYS || errno == EPERM || errno == EOPNOTSUPP;
}

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

// Whether `path` is still what `was` says: the same file, unchanged, or still
// missing.
// Why a copy or a replacement was refused, where no system call failed.
constexpr const char* kChangedSinceRead = "Changed by another program since it was read";

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
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return name;
  std::string listed;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view entryName = entry->d_name;
    if (entryName == name) {
      listed = name;
      break;
    }
    if (!listed.empty() || entryName == "." || entryName == "..") continue;
    struct stat other;
    if (SameIgnoringAsciiCase(entryName, name) ||
        (entry->d_ino == st.st_ino &&
         fstatat(dirfd(listing), entry->d_name, &other, AT_SYMLINK_NOFOLLOW) == 0 &&
         other.st_dev == st.st_dev && other.st_ino == st.st_ino)) {
      listed = entryName;
    }
  }
  closedir(listing);
  return listed.empty() ? name : listed;
}

// Our temporary files are "<name>.corvaldo-XXXXXX": the name of the file they
// stand in for, and six letters or digits (mkstemp's alphabet). Nothing else
// is ever taken for one of ours.
constexpr std::string_view kTempTag = ".corvaldo-";
constexpr std::size_t kTempRandom = 6;

bool IsTempName(std::string_view name) {
  if (name.size() < kTempTag.size() + kTempRandom) return false;
  const std::string_view tail = name.substr(name.size() - kTempRandom);
  const auto alnum = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  };
  return name.substr(name.size() - kTempRandom - kTempTag.size(), kTempTag.size()) == kTempTag &&
         std::all_of(tail.begin(), tail.end(), alnum);
}

// A temporary file of ours. While a run works on it, it holds an exclusive
// flock on it, so that a later or parallel run can tell a live one from a
// leftover: a file nobody holds locked is one a killed run left behind.
// Where the file system allows, it has no name at all until it is complete
// (O_TMPFILE), so that a kill while writing leaves nothing behind.
struct TempFile {
  std::string folder;
  std::string base;  // the name it stands in for ("" when that would be too long)
  std::string path;  // its name, "" while it has none
  int fd = -1;
};

// A new name for a temporary file beside `base` in `folder`.
std::string FreshTempPath(const TempFile& temp) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937_64 random{std::random_device{}()};
  std::string path = temp.folder + "/" + temp.base + std::string(kTempTag);
  for (std::size_t i = 0; i < kTempRandom; ++i) path.push_back(alphabet[random() % 62]);
  return path;
}

// Creates a named temporary file, locked; never opens an existing one.
bool CreateNamedTemp(TempFile& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = FreshTempPath(temp);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    // A cleanup may have taken the file in the moment before the lock; then
    // the name is no longer ours, and a new one is made.
    struct stat held, named;
    if (flock(fd, LOCK_EX) == 0 && fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      temp.path = std::move(path);
      temp.fd = fd;
      return true;
    }
    close(fd);
  }
  return false;
}

// A new, empty temporary file next to `name` in `folder`: unnamed where the
// file system allows (`unnamed`), else named and locked.
std::optional<TempFile> CreateTempBeside(const std::string& folder, const std::string& name,
                                         bool unnamed) {
  TempFile temp;
  temp.folder = folder;
  temp.base = name.size() + kTempTag.size() + kTempRandom <= kMaxNameBytes ? name : std::string();
#ifdef O_TMPFILE
  if (unnamed) {
    temp.fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (temp.fd >= 0) {
      flock(temp.fd, LOCK_EX);  // held on, through the name it gets later
      return temp;
    }
  }
#endif
  if (!CreateNamedTemp(temp)) return std::nullopt;
  return temp;
}

// Removes a temporary file of ours. Unless it is another name of a file that
// must stay (a backup linked from it), its content goes first: a full file
// system may need room to remove a name (NTFS does). It is closed before its
// name is removed: FUSE keeps a removed file that is still open under a
// hidden name, which needs room too.
void RemoveTemp(TempFile& temp, bool keepContent = false) {
  const int saved = errno;  // the failure that made the file useless
  if (temp.fd >= 0) {
    if (!keepContent && !temp.path.empty() && ftruncate(temp.fd, 0) != 0) {
    }
    close(temp.fd);
    temp.fd = -1;
  }
  if (!temp.path.empty()) unlink(temp.path.c_str());
  temp.path.clear();
  errno = saved;
}

enum class Linked { Yes, Exists, Unsupported };

// Gives an unnamed temporary file the name `path`, refusing to replace
// anything there. Through /proc, or AT_EMPTY_PATH where /proc is missing
// (that one needs a privilege).
Linked LinkUnnamed(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return Linked::Yes;
  }
  if (errno == EEXIST) return Linked::Exists;
#ifdef AT_EMPTY_PATH
  if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return Linked::Yes;
  if (errno == EEXIST) return Linked::Exists;
#endif
  return Linked::Unsupported;
}

// Gives a finished unnamed temporary file a name of ours, so that it can be
// renamed over its target: linked where that works, else copied into a named
// one. False when neither works.
bool NameTemp(TempFile& temp) {
  if (!temp.path.empty()) return true;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = FreshTempPath(temp);
    switch (LinkUnnamed(temp.fd, path)) {
      case Linked::Yes:
        temp.path = std::move(path);
        return true;
      case Linked::Exists:
        continue;
      case Linked::Unsupported:
        attempt = 100;
        break;
    }
  }
  // No way to link it: copied, with its mode, owner and times, into a named one.
  TempFile named = temp;
  named.fd = -1;
  struct stat st;
  if (fstat(temp.fd, &st) != 0 || lseek(temp.fd, 0, SEEK_SET) != 0 || !CreateNamedTemp(named)) {
    return false;
  }
  KeepOwner(named.fd, st);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  bool copied = CopyData(temp.fd, named.fd) && SetMode(named.fd, st.st_mode & 07777);
  if (copied) {
    futimens(named.fd, times);  // where the file system keeps no times, so be it
    copied = fsync(named.fd) == 0;
  }
  KeepingErrno([&] { close(temp.fd); });
  temp = std::move(named);
  if (!copied) RemoveTemp(temp);
  return copied;
}

// Removes what an earlier, killed run of ours left in `folder`: files with our
// temporary names that nobody holds locked. Never a file of another name, a
// link or a folder, and never one a running writer holds. A failure here
// costs nothing but the leftover.
void RemoveStaleTemps(const std::string& folder) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing)) {
    if (IsTempName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  const int dir = dirfd(listing);
  for (const std::string& name : names) {
    const int fd =
        openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) continue;
    struct stat held, named;
    const bool stale = fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
                       flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                       fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                       held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    // Only the name goes, never the content: a leftover may be a second name
    // of a finished backup, linked just before its run was killed. FUSE
    // removes a file that is still open by hiding it under another name, for
    // which a full disk may have no room: then removed once closed.
    const bool removed = stale && unlinkat(dir, name.c_str(), 0) == 0;
    close(fd);
    if (stale && !removed) unlinkat(dir, name.c_str(), 0);
  }
  closedir(listing);
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

  ~PosixFileWriter() override { Discard(); }

  bool Write(std::string_view bytes) override {
    if (failed_ || finished_) return false;
    if (buffer_.empty() && bytes.size() >= kBufferSize) {
      // Already a large chunk: no point copying it first.
      if (!WriteAll(temp_.fd, bytes.data(), bytes.size())) Fail();
      return !failed_;
    }
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferSize && !Flush()) Fail();
    return !failed_;
  }

  bool Commit() override {
    if (finished_) return false;
    bool ok = !failed_ && Flush();
    if (ok && original_) KeepOwner(temp_.fd, *original_);
    ok = ok && SetMode(temp_.fd, mode_) && fsync(temp_.fd) == 0;
    // The file gets a name only now that it is whole, and keeps its lock
    // until it has taken the target's place. Whatever another program made
    // of the target since the run read it is never written over.
    const bool changed = ok && asRead_ && !StillAsRead(*asRead_, target_);
    ok = ok && !changed && NameTemp(temp_) && rename(temp_.path.c_str(), target_.c_str()) == 0;
    if (!ok) {
      // A write that failed before has given its reason already.
      if (!failed_) fs_.SetFailureReason(changed ? kChangedSinceRead : SystemReason(errno));
      Discard();
      return false;
    }
    close(temp_.fd);
    temp_.fd = -1;
    temp_.path.clear();  // now the target's name
    finished_ = true;
    SyncFolder(temp_.folder);
    landed_();
    return true;
  }

 private:
  bool Flush() {
    bool ok = WriteAll(temp_.fd, buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
  }

  void Fail() {
    failed_ = true;
    fs_.SetFailureReason(SystemReason(errno));
  }

  void Discard() {
    if (!finished_) RemoveTemp(temp_);
    finished_ = true;
  }

  FileSystem& fs_;
  std::string target_;
  TempFile temp_;
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
  explicit FolderLock(int fd) : fd_(fd) {}
  ~FolderLock() override { close(fd_); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

// Puts the finished, named temporary file at `to` unless something is there
// already, and removes the temporary name. link() is atomic and refuses to
// replace; so does renameat2 with RENAME_NOREPLACE. With neither (exFAT and
// FAT through FUSE), the name is checked and the file renamed under an flock
// on the folder that every run of ours takes for this step, so no other run
// places a backup in between; the kernel lets the lock go when a run dies.
// A kill at any moment leaves the name free or holding a whole copy: the copy
// was flushed before, and a leftover temporary file, finished or not, is
// only ever removed by the next run, never renamed.
bool PlaceNoReplace(TempFile& temp, const std::string& to) {
  bool placed = false;
  bool linked = false;
  if (link(temp.path.c_str(), to.c_str()) == 0) {
    placed = linked = true;
  } else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) {
    if (renameat2(AT_FDCWD, temp.path.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
      placed = true;
    } else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
      const int dir = open(temp.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat st;
      if (dir >= 0 && flock(dir, LOCK_EX) == 0) {
        if (lstat(to.c_str(), &st) == 0) {
          errno = EEXIST;
        } else if (errno == ENOENT) {
          placed = rename(temp.path.c_str(), to.c_str()) == 0;
        }
      }
      if (dir >= 0) KeepingErrno([&] { close(dir); });
    }
  }
  if (placed && !linked) temp.path.clear();  // the temporary name is gone
  RemoveTemp(temp, linked);
  return placed;
}

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
    const int fd = open(mapped->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return result;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        result.status = LockStatus::Held;
        result.lock = std::make_unique<FolderLock>(fd);
        return result;
      }
      const int error = errno;
      if (error == EINTR) continue;
      const auto now = std::chrono::steady_clock::now();
      if (error != EWOULDBLOCK || now >= deadline) {
        if (error == EWOULDBLOCK) result.status = LockStatus::Busy;
        close(fd);
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
    int fd =
        preview_ ? OpenUntimed(AT_FDCWD, mapped->c_str(), kFlags) : open(mapped->c_str(), kFlags);
    if (fd < 0) {
      result.status = Absent(errno) ? ReadStatus::Missing : Unreadable(errno);
      if (result.status == ReadStatus::Missing) read_[path] = Stamp{};
      return result;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
      result.status = Unreadable(errno);
      close(fd);
      return result;
    }
    if (!S_ISREG(st.st_mode)) {
      result.status = Unreadable(S_ISDIR(st.st_mode) ? EISDIR : 0);
      close(fd);
      return result;
    }
    // Taken before the first byte is read: a write while it is read moves it.
    read_[path] = StampOf(st);
    bool ok;
    try {
      ok = ReadAll(fd, static_cast<std::size_t>(st.st_size), result.bytes);
    } catch (...) {  // out of memory: the caller reports it, the handle is ours
      close(fd);
      throw;
    }
    if (!ok) Fail(errno);
    close(fd);
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

    int in = open(source->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (in < 0) return Fail(errno);
    // Only a copy of what the run read: the file it judged, as it judged it.
    const auto asRead = read_.find(from);
    if (asRead != read_.end()) {
      const bool stated = fstat(in, &st) == 0;
      const int error = errno;
      if (!stated || !Unchanged(asRead->second, st)) {
        close(in);
        if (!stated) return Fail(error);
        SetFailureReason(kChangedSinceRead);
        return false;
      }
    }
    bool copied = preview_ ? CouldCreateIn(SplitFolder(*target).first, in)
                           : CopyVia(in, *target, unnamedTemps_);
    if (!copied) Fail(errno);
    close(in);
    return copied;
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
    struct stat folderStat;
    if (stat(folder.c_str(), &folderStat) != 0) return Refuse(errno);
    if (!S_ISDIR(folderStat.st_mode)) return Refuse(ENOTDIR);
    if (access(folder.c_str(), W_OK | X_OK) != 0) return Refuse(errno);
    if (preview_) return std::make_unique<CheckedOnlyWriter>();
    Visit(folder);
    std::optional<TempFile> temp =
        CreateTempBeside(folder, SplitFolder(target).second, unnamedTemps_);
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
    std::optional<TempFile> temp = CreateTempBeside(folder, name, unnamedTemps);
    if (!temp) return false;
    // A file written while it was copied gives no copy of anything.
    struct stat after;
    bool ok = CopyData(in, temp->fd) && fstat(in, &after) == 0 && Unchanged(StampOf(source), after);
    if (ok) {
      KeepOwner(temp->fd, source);
      // A copy keeps the original's modification time, as Windows' copy does.
      const struct timespec times[2] = {source.st_atim, source.st_mtim};
      futimens(temp->fd, times);
      ok = SetMode(temp->fd, source.st_mode & 07777) && fsync(temp->fd) == 0;
    }
    if (ok && temp->path.empty()) {
      // Unnamed: linked straight to the backup's name, which never replaces.
      const Linked linked = LinkUnnamed(temp->fd, target);
      if (linked != Linked::Unsupported) {
        close(temp->fd);
        if (linked == Linked::Exists) {
          errno = EEXIST;
          return false;
        }
        SyncFolder(folder);
        return true;
      }
      ok = NameTemp(*temp);
    }
    if (!ok) {
      RemoveTemp(*temp);
      return false;
    }
    if (!PlaceNoReplace(*temp, target)) return false;
    SyncFolder(folder);
    return true;
  }

  // What a copy of the open regular file `in` into `folder` needs. On
  // failure errno tells why.
  static bool CouldCreateIn(const std::string& folder, int in) {
    struct stat source, st;
    if (fstat(in, &source) != 0) return false;
    if (!S_ISREG(source.st_mode)) return NotRegular(source);
    if (stat(folder.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
      errno = ENOTDIR;
      return false;
    }
    return access(folder.c_str(), W_OK | X_OK) == 0;
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

int OpenUntimed(int folder, const char* path, int flags) {
  const int fd = openat(folder, path, flags | O_NOATIME);
  return fd >= 0 || errno != EPERM ? fd : openat(folder, path, flags);
}

std::unique_ptr<FileSystem> MakePosixFileSystem(PathMap map, bool unnamedTemps, bool preview) {
  return std::make_unique<PosixFileSystem>(std::move(map), unnamedTemps, preview);
}

}  // namespace corvaldo
