// A temporary file of ours: its name, its creation beside a target, its one
// outcome (kept, kept without replacing, discarded), and leftovers' clearing.
#include "gamefiles/temp_file_posix.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <utility>
#include <vector>

namespace corvaldo {
namespace {

constexpr std::size_t kMaxNameBytes = 255;

// Our temporary files are "<name>.corvaldo-XXXXXX": the name of the file they
// stand in for, and six letters or digits (mkstemp's alphabet). Nothing else
// is ever taken for one of ours.
constexpr std::string_view kTempTag = ".corvaldo-";
constexpr std::size_t kTempRandom = 6;

// A new name for a temporary file beside `base` in `folder`.
std::string FreshTempPath(const std::string& folder, const std::string& base) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937_64 random{std::random_device{}()};
  std::string path = folder + "/" + base + std::string(kTempTag);
  for (std::size_t i = 0; i < kTempRandom; ++i) path.push_back(alphabet[random() % 62]);
  return path;
}

// Creates a named temporary file, locked, and sets `path` to its name; never
// opens an existing one.
Descriptor CreateNamedTemp(const std::string& folder, const std::string& base, std::string& path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = FreshTempPath(folder, base);
    Descriptor fd(open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
    if (!fd.valid()) {
      if (errno == EEXIST) continue;
      return Descriptor();
    }
    // A cleanup may have taken the file in the moment before the lock; then
    // the name is no longer ours, and a new one is made.
    struct stat held, named;
    if (flock(fd.get(), LOCK_EX) == 0 && fstat(fd.get(), &held) == 0 &&
        stat(candidate.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      path = std::move(candidate);
      return fd;
    }
  }
  return Descriptor();
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

}  // namespace

std::optional<TempFile> TempFile::CreateBeside(const std::string& folder, const std::string& name,
                                               bool unnamed) {
  TempFile temp;
  temp.folder_ = folder;
  temp.base_ = name.size() + kTempTag.size() + kTempRandom <= kMaxNameBytes ? name : std::string();
#ifdef O_TMPFILE
  if (unnamed) {
    temp.fd_ = Descriptor(open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (temp.fd_.valid()) {
      flock(temp.fd(), LOCK_EX);  // held on, through the name it gets later
      return temp;
    }
  }
#else
  (void)unnamed;
#endif
  temp.fd_ = CreateNamedTemp(folder, temp.base_, temp.path_);
  if (!temp.fd_.valid()) return std::nullopt;
  return temp;
}

TempFile::TempFile(TempFile&& other) noexcept
    : folder_(std::move(other.folder_)),
      base_(std::move(other.base_)),
      path_(std::exchange(other.path_, std::string())),
      fd_(std::move(other.fd_)) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Discard();
    folder_ = std::move(other.folder_);
    base_ = std::move(other.base_);
    path_ = std::exchange(other.path_, std::string());
    fd_ = std::move(other.fd_);
  }
  return *this;
}

bool TempFile::Keep(const std::string& target) {
  if (!fd_.valid()) {
    errno = EBADF;  // an outcome was given already
    return false;
  }
  // It gets a name only now that it is whole, and keeps its lock until it
  // has taken the target's place.
  if (!Name() || rename(path_.c_str(), target.c_str()) != 0) {
    Discard();
    return false;
  }
  fd_.Close();
  path_.clear();  // now the target's name
  SyncFolder(folder_);
  return true;
}

bool TempFile::KeepNoReplace(const std::string& target) {
  if (!fd_.valid()) {
    errno = EBADF;
    return false;
  }
  if (path_.empty()) {
    // Unnamed: linked straight to the target's name, which never replaces.
    const Linked linked = LinkUnnamed(fd(), target);
    if (linked != Linked::Unsupported) {
      fd_.Close();
      if (linked == Linked::Exists) {
        errno = EEXIST;
        return false;
      }
      SyncFolder(folder_);
      return true;
    }
    if (!Name()) {
      Discard();
      return false;
    }
  }
  if (!PlaceNoReplace(target)) return false;
  SyncFolder(folder_);
  return true;
}

void TempFile::Discard() { Remove(false); }

// Gives a finished unnamed temporary file a name of ours, so that it can be
// renamed over its target: linked where that works, else copied into a named
// one. False when neither works.
bool TempFile::Name() {
  if (!path_.empty()) return true;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = FreshTempPath(folder_, base_);
    switch (LinkUnnamed(fd(), path)) {
      case Linked::Yes:
        path_ = std::move(path);
        return true;
      case Linked::Exists:
        continue;
      case Linked::Unsupported:
        attempt = 100;
        break;
    }
  }
  // No way to link it: copied, with its mode, owner and times, into a named one.
  struct stat st;
  std::string path;
  if (fstat(fd(), &st) != 0 || lseek(fd(), 0, SEEK_SET) != 0) return false;
  Descriptor named = CreateNamedTemp(folder_, base_, path);
  if (!named.valid()) return false;
  const bool copied = CopyData(fd(), named.get()) && FinishCopy(named.get(), st);
  fd_ = std::move(named);
  path_ = std::move(path);
  if (!copied) Remove(false);
  return copied;
}

// Puts the finished, named temporary file at `to` unless something is there
// already, and removes the temporary name. link() is atomic and refuses to
// replace; so does renameat2 with RENAME_NOREPLACE. With neither (exFAT and
// FAT through FUSE), the name is checked and the file renamed under an flock
// on the folder that every run of ours takes for this step, so no other run
// places a backup in between; the kernel lets the lock go when a run dies.
// A kill at any moment leaves the name free or holding a whole copy: the copy
// was flushed before, and a leftover temporary file, finished or not, is
// only ever removed by the next run, never renamed.
bool TempFile::PlaceNoReplace(const std::string& to) {
  bool placed = false;
  bool linked = false;
  if (link(path_.c_str(), to.c_str()) == 0) {
    placed = linked = true;
  } else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) {
    if (renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
      placed = true;
    } else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
      const Descriptor dir(open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      struct stat st;
      if (dir.valid() && flock(dir.get(), LOCK_EX) == 0) {
        if (lstat(to.c_str(), &st) == 0) {
          errno = EEXIST;
        } else if (errno == ENOENT) {
          placed = rename(path_.c_str(), to.c_str()) == 0;
        }
      }
    }
  }
  if (placed && !linked) path_.clear();  // the temporary name is gone
  Remove(linked);
  return placed;
}

// Unless the file is another name of one that must stay (a backup linked from
// it), its content goes first: a full file system may need room to remove a
// name (NTFS does). It is closed before its name is removed: FUSE keeps a
// removed file that is still open under a hidden name, which needs room too.
void TempFile::Remove(bool keepContent) {
  const int saved = errno;  // the failure that made the file useless
  if (fd_.valid()) {
    if (!keepContent && !path_.empty() && ftruncate(fd(), 0) != 0) {
    }
    fd_.Close();
  }
  if (!path_.empty()) unlink(path_.c_str());
  path_.clear();
  errno = saved;
}

bool IsTempName(std::string_view name) {
  if (name.size() < kTempTag.size() + kTempRandom) return false;
  const std::string_view tail = name.substr(name.size() - kTempRandom);
  const auto alnum = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  };
  return name.substr(name.size() - kTempRandom - kTempTag.size(), kTempTag.size()) == kTempTag &&
         std::all_of(tail.begin(), tail.end(), alnum);
}

void RemoveStaleTemps(const std::string& folder) {
  const Listing listing = OpenListing(folder);
  if (!listing) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing.get())) {
    if (IsTempName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  const int dir = dirfd(listing.get());
  for (const std::string& name : names) {
    Descriptor fd(
        openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) continue;
    struct stat held, named;
    const bool stale = fstat(fd.get(), &held) == 0 && S_ISREG(held.st_mode) &&
                       flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
                       fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                       held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    // Only the name goes, never the content: a leftover may be a second name
    // of a finished backup, linked just before its run was killed. FUSE
    // removes a file that is still open by hiding it under another name, for
    // which a full disk may have no room: then removed once closed.
    const bool removed = stale && unlinkat(dir, name.c_str(), 0) == 0;
    fd.Close();
    if (stale && !removed) unlinkat(dir, name.c_str(), 0);
  }
}

}  // namespace corvaldo
