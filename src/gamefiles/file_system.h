// The file seam: everything the patches do to disk goes through FileSystem,
// so the core never touches the platform's file API and tests can inject faults.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

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

struct ReadResult {
  ReadStatus status = ReadStatus::Missing;
  std::string bytes;
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

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Reads a whole file in the reading mode (others may read, not write).
  virtual ReadResult ReadFile(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Copies from -> to; fails, touching nothing, when `to` already exists.
  // A failed copy never leaves a partial file at `to`.
  virtual bool CopyNoReplace(const std::string& from, const std::string& to) = 0;
  // Checks that `path` may be rewritten (read-only files, sharing conflicts and
  // missing folders fail here, before anything is written) and starts the
  // replacement. Null when the file may not be rewritten.
  virtual std::unique_ptr<FileWriter> OpenForReplace(const std::string& path) = 0;
};

// The platform's implementation (Win32 file API, or POSIX through a Wine prefix).
std::unique_ptr<FileSystem> MakePlatformFileSystem();

}  // namespace corvaldo
