// The file seam: everything the patches do to disk goes through FileSystem,
// so the core never touches the platform's file API and tests can inject faults.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace corvaldo {

// The longest path the game's platform can open (MAX_PATH less the terminator).
inline constexpr std::size_t kMaxPathLength = 259;

enum class ReadStatus {
  Ok,           // every byte was read
  Missing,      // no file at the path (or its folder is missing)
  Unreadable,   // the file exists but could not be opened in the reading mode
  ReadError,    // opened, but reading failed part-way; bytes holds what was read
  PathTooLong,  // longer than kMaxPathLength: never opened
};

// A whole file's bytes, owned by whoever holds them and changeable in place.
// Usually a string; a platform may hand over a block of its own instead (the
// POSIX one reads large files into huge pages, where fresh 4 KiB pages would
// cost more than reading the file), which `release` gives back.
class FileBytes {
 public:
  using Release = void (*)(char* block, std::size_t capacity);

  FileBytes() = default;
  FileBytes(std::string bytes) : owned_(std::move(bytes)) {}  // NOLINT: implicit by design
  // Takes over `block`, of which the first `size` bytes are the file's.
  FileBytes(char* block, std::size_t size, std::size_t capacity, Release release)
      : block_(block), size_(size), capacity_(capacity), release_(release) {}
  FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }
  FileBytes& operator=(FileBytes&& other) noexcept {
    if (this != &other) {
      Reset();
      owned_ = std::move(other.owned_);
      other.owned_.clear();
      block_ = std::exchange(other.block_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
      release_ = std::exchange(other.release_, nullptr);
    }
    return *this;
  }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  ~FileBytes() { Reset(); }

  char* data() { return block_ ? block_ : owned_.data(); }
  const char* data() const { return block_ ? block_ : owned_.data(); }
  std::size_t size() const { return block_ ? size_ : owned_.size(); }
  bool empty() const { return size() == 0; }
  std::string_view view() const { return std::string_view(data(), size()); }
  operator std::string_view() const { return view(); }
  friend bool operator==(const FileBytes& bytes, std::string_view text) {
    return bytes.view() == text;
  }

 private:
  void Reset() {
    if (block_ && release_) release_(block_, capacity_);
    block_ = nullptr;
    size_ = capacity_ = 0;
  }

  std::string owned_;
  char* block_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  Release release_ = nullptr;
};

struct ReadResult {
  ReadStatus status = ReadStatus::Missing;
  FileBytes bytes;
};

// A crash-safe replacement of one file's whole content. Bytes go to a temporary
// file in the target's folder; Commit flushes it to disk and swaps it in. A
// writer destroyed without a successful Commit removes its temporary file and
// leaves the target exactly as it was. Never throws.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  // False once any write has failed; later writes are then skipped.
  virtual bool Write(std::string_view bytes) = 0;
  // True only when the new content has landed at the target path.
  virtual bool Commit() = 0;
};

// A run's hold on one installation: while it is held, every other run of ours
// that asks for the same folder waits. Let go when dropped, and by the system
// when the process dies, so that nothing is ever left to clear.
class InstallationLock {
 public:
  virtual ~InstallationLock() = default;
};

enum class LockStatus {
  Held,         // `lock` holds the installation
  Busy,         // another run held it for the whole wait
  Unavailable,  // it cannot be locked here (no such folder, or no locks on its file
                // system); the run goes on without, and the checks below still hold
};

struct LockResult {
  LockStatus status = LockStatus::Unavailable;
  std::unique_ptr<InstallationLock> lock;
};

// Every file a run reads is remembered (which file it is, its size and times):
// a copy from it, or a replacement of it, goes ahead only while it is still
// that file, unchanged, so that a backup is never made of, and a rewrite never
// lands over, anything but what the run judged. A file read as missing must
// still be missing when its replacement lands.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Takes the lock of the installation in `installDir` (the same lock whatever
  // path or spelling leads to the folder), waiting at most `wait` for another
  // run to let it go.
  virtual LockResult LockInstallation(const std::string& installDir,
                                      std::chrono::milliseconds wait) = 0;
  // Reads a whole file in the reading mode (others may read, not write).
  virtual ReadResult ReadFile(const std::string& path) = 0;
  // Whether a regular file is at `path` (links followed): a folder, a FIFO,
  // a device or a dangling link is no file, so never a backup.
  virtual bool Exists(const std::string& path) = 0;
  // Copies from -> to; fails, touching nothing, when `to` already exists, or
  // when `from` is not, or stops being while copied, the file this run read.
  // A failed copy never leaves a partial file at `to`.
  virtual bool CopyNoReplace(const std::string& from, const std::string& to) = 0;
  // Checks that `path` may be rewritten (read-only files, sharing conflicts and
  // missing folders fail here, before anything is written) and starts the
  // replacement; its Commit fails when `path` is no longer the file this run
  // read there. Null when the file may not be rewritten. The writer reports
  // to this file system (what landed, why it failed), so it must not outlive it.
  virtual std::unique_ptr<FileWriter> OpenForReplace(const std::string& path) = 0;
  // Removes the one name `path`: a file, or a link itself, never what a link
  // points to, never a folder, and never a file marked read-only. True when
  // this call removed it.
  virtual bool Remove(const std::string& path) = 0;

  // Why the latest operation failed, in the system's words (the strerror
  // text of the call that failed: "Read-only file system"), for the user.
  // Each operation clears it as it starts; one that fails, or a writer of
  // its whose Write or Commit fails, sets it where the system gave a reason.
  // Empty where the platform gives none.
  const std::string& FailureReason() const { return failureReason_; }
  void SetFailureReason(std::string reason) { failureReason_ = std::move(reason); }

 private:
  std::string failureReason_;
};

// The platform's implementation (Win32 file API, or POSIX through a Wine prefix).
std::unique_ptr<FileSystem> MakePlatformFileSystem();

}  // namespace corvaldo
