// The file seam on Windows: the ANSI file API with the game's open modes, and
// a replacement through a temporary file swapped in by ReplaceFileA.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "gamefiles/file_system.h"

namespace corvaldo {
namespace {

// A path the API would see cut short (too long, or with a NUL inside) is
// never handed to it.
bool Openable(const std::string& path) {
  return path.size() <= kMaxPathLength && path.find('\0') == std::string::npos;
}

bool IsPresent(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(Handle&& other) noexcept : handle_(other.Release()) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle& operator=(Handle&&) = delete;
  HANDLE Release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  bool Close() {
    if (!Valid()) return true;
    const bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

// The folder part of a path, with its trailing separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos) return path.substr(0, slash + 1);
  // "C:name" is relative to drive C's current folder.
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return std::string();
}

// A fresh name in `folder` that keeps the whole path within kMaxPathLength.
std::string SiblingName(const std::string& folder, unsigned salt, const char* tag) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", salt);
  std::string name = std::string("~scv") + tag + hex + ".tmp";
  const std::size_t room = kMaxPathLength - folder.size();
  // Deep folders: shorter names, still unique enough with the retry below.
  if (name.size() > room)
    name.assign(1, '~').append(hex, room > 1 ? std::min<std::size_t>(room - 1, 8) : 0);
  return folder + name;
}

unsigned NextSalt() {
  static unsigned counter = 0;
  return (GetCurrentProcessId() << 16) ^ GetTickCount() ^ (++counter * 0x9E3779B9u);
}

// Creates a new, empty file next to the target; never opens an existing one.
Handle CreateTemporary(const std::string& folder, std::string& tmpPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tmpPath = SiblingName(folder, NextSalt(), "");
    if (tmpPath.size() <= folder.size() + 1) break;
    Handle file(CreateFileA(tmpPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  tmpPath.clear();
  return Handle(INVALID_HANDLE_VALUE);
}

class Win32FileWriter final : public FileWriter {
 public:
  Win32FileWriter(std::string target, std::string tmpPath, Handle file)
      : target_(std::move(target)), tmpPath_(std::move(tmpPath)), file_(std::move(file)) {}

  ~Win32FileWriter() override {
    file_.Close();
    if (!committed_) DeleteFileA(tmpPath_.c_str());
  }

  bool Write(std::string_view bytes) override {
    if (failed_ || committed_) return false;
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferSize) failed_ = !Flush();
    return !failed_;
  }

  bool Commit() override {
    if (failed_ || committed_) return false;
    failed_ = !Flush() || !FlushFileBuffers(file_.Get()) || !file_.Close();
    if (failed_) return false;
    committed_ = Swap();
    failed_ = !committed_;
    return committed_;
  }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  static constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                           FILE_ATTRIBUTE_ARCHIVE |
                                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

  bool Flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(buffer_.size() - done);
      if (!WriteFile(file_.Get(), buffer_.data() + done, chunk, &written, nullptr) ||
          written == 0) {
        return false;
      }
      done += written;
    }
    buffer_.clear();
    return true;
  }

  bool Swap() {
    if (!IsPresent(target_)) {
      return MoveFileExA(tmpPath_.c_str(), target_.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    // ReplaceFileA keeps the old file's attributes, ACLs and creation time.
    // With a backup name every way it can fail leaves the old content under
    // one of two names we know, so it can be put back.
    const std::string backup = UnusedBackupName();
    if (backup.empty()) return false;
    const DWORD attributes = GetFileAttributesA(target_.c_str()) & kKeptAttributes;
    if (ReplaceFileA(target_.c_str(), tmpPath_.c_str(), backup.c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      DeleteFileA(backup.c_str());
      // Not every implementation carries the attributes over (Wine does not).
      if ((GetFileAttributesA(target_.c_str()) & kKeptAttributes) != attributes) {
        SetFileAttributesA(target_.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
      }
      return true;
    }
    if (IsPresent(target_)) {
      DeleteFileA(backup.c_str());
    } else {
      MoveFileExA(backup.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    return false;
  }

  std::string UnusedBackupName() const {
    const std::string folder = FolderOf(target_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = SiblingName(folder, NextSalt(), "b");
      if (name.size() <= folder.size() + 1) break;
      if (!IsPresent(name) && GetLastError() == ERROR_FILE_NOT_FOUND) return name;
    }
    return std::string();
  }

  std::string target_;
  std::string tmpPath_;
  Handle file_;
  std::string buffer_;
  bool failed_ = false;
  bool committed_ = false;
};

class Win32FileSystem final : public FileSystem {
 public:
  ReadResult ReadFile(const std::string& path) override {
    ReadResult result;
    if (!Openable(path)) {
      result.status = path.size() > kMaxPathLength ? ReadStatus::PathTooLong : ReadStatus::Missing;
      return result;
    }
    // The reading mode: others may read meanwhile, not write.
    Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) {
      const DWORD error = GetLastError();
      result.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                          ? ReadStatus::Missing
                          : ReadStatus::Unreadable;
      return result;
    }
    // Read straight into a buffer of the file's size, growing it only if the
    // file grew meanwhile.
    std::string bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file.Get(), &size) && size.QuadPart >= 0 &&
        static_cast<unsigned long long>(size.QuadPart) < bytes.max_size() / 2) {
      bytes.resize(static_cast<std::size_t>(size.QuadPart) + 1);
    }
    std::size_t got = 0;
    result.status = ReadStatus::Ok;
    for (;;) {
      if (got == bytes.size()) bytes.resize(bytes.size() * 2 + 64 * 1024);
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - got, 1u << 30));
      DWORD n = 0;
      if (!::ReadFile(file.Get(), bytes.data() + got, want, &n, nullptr)) {
        result.status = ReadStatus::ReadError;
        break;
      }
      if (n == 0) break;
      got += n;
    }
    bytes.resize(got);
    result.bytes = std::move(bytes);
    return result;
  }

  bool Exists(const std::string& path) override {
    if (!Openable(path)) return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool CopyNoReplace(const std::string& from, const std::string& to) override {
    if (!Openable(from) || !Openable(to)) return false;
    const bool wasThere = IsPresent(to);
    if (CopyFileA(from.c_str(), to.c_str(), TRUE)) return true;
    // A copy that broke off part-way may leave its beginning behind; that file
    // is ours to remove. Anything that was there before is not.
    if (!wasThere && IsPresent(to)) DeleteFileA(to.c_str());
    return false;
  }

  std::unique_ptr<FileWriter> OpenForReplace(const std::string& path) override {
    if (!Openable(path)) return nullptr;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      // Checked outright as well: Wine run as root lets the open below
      // through on a read-only file.
      if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) return nullptr;
      // The rewriting mode, tried on the file itself and closed at once: a
      // file another process holds fails here, before any byte is written.
      // Opening it this way leaves its content alone.
      Handle probe(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!probe.Valid()) return nullptr;
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
      return nullptr;  // the folder is missing, or the path is unusable
    }
    std::string tmpPath;
    Handle tmp = CreateTemporary(FolderOf(path), tmpPath);
    if (!tmp.Valid()) return nullptr;
    return std::make_unique<Win32FileWriter>(path, std::move(tmpPath), std::move(tmp));
  }
};

}  // namespace

std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace corvaldo
