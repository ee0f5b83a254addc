// Plain POSIX I/O under the file seam: a descriptor that closes itself, whole
// writes and copies, folder syncs, untimed opens, owner and mode, and the reader.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "gamefiles/file_system.h"

namespace corvaldo {

// An open descriptor, closed when dropped. Closing keeps errno: a close after
// a failure never hides why it failed.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.release();
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Close(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void Close();

 private:
  int fd_ = -1;
};

// An open folder listing, closed when dropped; null when the folder could
// not be opened.
struct ListingCloser {
  void operator()(DIR* listing) const { closedir(listing); }
};
using Listing = std::unique_ptr<DIR, ListingCloser>;
inline Listing OpenListing(const std::string& folder) { return Listing(opendir(folder.c_str())); }

// Writes and copies go in pieces of this size.
inline constexpr std::size_t kBufferSize = 64 * 1024;

// The system's words for `error`; empty for none.
std::string SystemReason(int error);

// Writes all of `data`; false with errno set when that fails.
bool WriteAll(int fd, const char* data, std::size_t size);

// Copies what is left of `from` to `to`; false with errno set when that fails.
bool CopyData(int from, int to);

// Makes a rename or link in `folder` durable.
void SyncFolder(const std::string& folder);

// A Unix path's folder ("." for none) and its last component.
std::pair<std::string, std::string> SplitFolder(const std::string& path);

// Opens `path` (relative to the open folder `folder`, or AT_FDCWD) without
// moving its access time where the owner or root may ask that, else as is:
// looking at a file is no use of it.
int OpenUntimed(int folder, const char* path, int flags);

// Reads `fd` to its end straight into one buffer sized for `expected` bytes
// (the size the file had when opened), growing it if the file grew meanwhile;
// large files land in huge pages. False on a read error; `out` then holds
// what was read. Throws std::bad_alloc when memory runs out.
bool ReadAll(int fd, std::size_t expected, FileBytes& out);

// How a file is opened only to be read: never as the terminal, and never
// waiting on a FIFO (which is then refused as no regular file).
inline constexpr int kPlainReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// The size of an open regular file of at most `limit` bytes; absent for
// anything else: a FIFO or a device there would block the run or never end.
std::optional<std::size_t> RegularFileSize(int fd, std::size_t limit);

// The whole of the file `name` in the open folder `folder`, when it is a
// regular file, not a symbolic link, of at most `limit` bytes.
std::optional<std::string> ReadRegularFileAt(int folder, const char* name, std::size_t limit);

// Gives `fd` the owner of `original`, where that may be done.
void KeepOwner(int fd, const struct stat& original);

// Gives `fd` the mode `mode`; true also where the file system stores none.
bool SetMode(int fd, mode_t mode);

// Gives the finished copy `fd` the owner, times and mode of `source`, and
// flushes it to disk; false, errno saying why, when the mode or the flush fails.
bool FinishCopy(int fd, const struct stat& source);

// Whether a file may be created in `folder`: a folder we may write in. On
// failure errno tells why.
bool CanCreateIn(const std::string& folder);

}  // namespace corvaldo
