// Plain POSIX I/O under the file seam: closing, whole writes and copies,
// folder syncs, untimed opens, owner and mode, and the large-file reader.
#include "gamefiles/io_posix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <tuple>
#include <vector>

namespace corvaldo {

void Descriptor::Close() {
  if (fd_ < 0) return;
  const int saved = errno;
  close(std::exchange(fd_, -1));
  errno = saved;
}

std::string SystemReason(int error) { return error == 0 ? std::string() : std::strerror(error); }

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

void SyncFolder(const std::string& folder) {
  const Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) fsync(fd.get());
}

std::pair<std::string, std::string> SplitFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

int OpenUntimed(int folder, const char* path, int flags) {
  const int fd = openat(folder, path, flags | O_NOATIME);
  return fd >= 0 || errno != EPERM ? fd : openat(folder, path, flags);
}

namespace {

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

}  // namespace

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

std::optional<std::size_t> RegularFileSize(int fd, std::size_t limit) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) > limit) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(st.st_size);
}

std::optional<std::string> ReadRegularFileAt(int folder, const char* name, std::size_t limit) {
  const Descriptor fd(OpenUntimed(folder, name, kPlainReadFlags | O_NOFOLLOW));
  if (!fd.valid()) return std::nullopt;
  const std::optional<std::size_t> size = RegularFileSize(fd.get(), limit);
  if (!size) return std::nullopt;
  std::string data;
  data.reserve(*size);
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    // It may grow while we read: the limit holds for what is read, too.
    if (n < 0 || data.size() + static_cast<std::size_t>(n) > limit) return std::nullopt;
    if (n == 0) return data;
    data.append(buffer, static_cast<std::size_t>(n));
  }
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

bool FinishCopy(int fd, const struct stat& source) {
  KeepOwner(fd, source);
  // A copy keeps the original's modification time, as Windows' copy does;
  // where the file system keeps no times, so be it.
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  futimens(fd, times);
  return SetMode(fd, source.st_mode & 07777) && fsync(fd) == 0;
}

bool CanCreateIn(const std::string& folder) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace corvaldo
