// The file seam on Windows: the ANSI file API with the game's open modes, and
// a replacement through a temporary file swapped in by ReplaceFileA.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gamefiles/file_system.h"
#include "gamefiles/handle_win32.h"
#include "gamefiles/installation_lock_win32.h"
#include "gamefiles/windows_names.h"

namespace corvaldo {
namespace {

bool IsPresent(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What a file was when a run read it: its volume, its size and its last write
// time. A write moves the time; a file put in its place brings its own. Not
// the file index: under Wine it is the inode, which FUSE file systems (exFAT,
// FAT) give anew for each spelling a file is looked up under.
struct Stamp {
  bool present = false;
  DWORD volume = 0;
  std::uint64_t size = 0;
  std::uint64_t written = 0;
};

std::uint64_t Joined(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

std::optional<Stamp> StampOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  return Stamp{true, info.dwVolumeSerialNumber, Joined(info.nFileSizeHigh, info.nFileSizeLow),
               Joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)};
}

bool Unchanged(const Stamp& was, const std::optional<Stamp>& now) {
  return now && was.present && was.volume == now->volume && was.size == now->size &&
         was.written == now->written;
}

// Whether `path` is still what `was` says: the same file, unchanged, or still
// missing.
bool StillAsRead(const Stamp& was, const std::string& path) {
  if (!was.present) return !IsPresent(path) && GetLastError() == ERROR_FILE_NOT_FOUND;
  const Handle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid() && Unchanged(was, StampOf(file.Get()));
}

unsigned NextSalt() {
  static unsigned counter = 0;
  return (GetCurrentProcessId() << 16) ^ GetTickCount() ^ (++counter * 0x9E3779B9u);
}

// The name the folder lists for the existing file at `path` (its letter
// case, the long form of a short name); empty when there is none.
std::string ListedName(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return std::string();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::string();
  FindClose(search);
  std::string name = found.cFileName;
  // Wine answers a search for one name with that very name wherever the
  // file system finds the file under it, as exFAT and FAT do under any
  // spelling: the folder's listing tells the spelling it really has.
  search = FindFirstFileA((FolderOf(path) + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return name;
  do {
    if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, found.cFileName, -1, name.c_str(), -1) ==
        CSTR_EQUAL) {
      name = found.cFileName;
      break;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return name;
}

// Creates the new, empty temporary file of a rewrite of `target`; never opens
// an existing one. Sets `names` to the pair it belongs to.
Handle CreateTempBeside(const std::string& target, TempNames& names) {
  const std::string folder = FolderOf(target);
  const std::string name = target.substr(folder.size());
  for (int attempt = 0; attempt < 100; ++attempt) {
    names = TempNamesFor(folder, name, NextSalt());
    if (names.fresh.empty()) break;
    // A name whose partner is there already would pair with a stranger.
    if (IsPresent(names.old)) continue;
    Handle file(CreateFileA(names.fresh.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  names = TempNames{};
  return Handle(INVALID_HANDLE_VALUE);
}

// Opens `path` only if no one else has it open at all, for `access`.
Handle OpenUnshared(const std::string& path, DWORD access, DWORD flags = 0) {
  return Handle(CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | flags, nullptr));
}

// Removes what killed runs of ours left in `folder` (with its trailing
// separator): every temporary file no one holds open. The one exception is an
// old content whose game file is missing, because a kill came in the middle
// of its swap: it is put back under the game file's name. A short-form pair
// that can say nothing of its game file is left alone, both halves. Nothing
// of any other name is touched, and failures change nothing but the leftover.
void RemoveStaleTemps(const std::string& folder) {
  std::vector<std::pair<std::string, TempName>> ours;
  std::set<std::string> keys[2];  // the keys of fresh and of old files
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (std::optional<TempName> name = ParseTempName(entry.cFileName)) {
      keys[name->old].insert(name->key);
      ours.emplace_back(folder + entry.cFileName, std::move(*name));
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);

  for (const auto& [path, name] : ours) {
    if (name.target.empty() && keys[!name.old].count(name.key) != 0) continue;
    if (name.old && !name.target.empty() && !IsPresent(folder + name.target) &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
      Handle unused = OpenUnshared(path, GENERIC_READ);
      if (unused.Valid() && unused.Close()) {
        MoveFileExA(path.c_str(), (folder + name.target).c_str(), MOVEFILE_WRITE_THROUGH);
      }
      continue;
    }
    // Deleted when the handle closes, and only opened when no one has it open.
    OpenUnshared(path, DELETE, FILE_FLAG_DELETE_ON_CLOSE);
  }
}

class Win32FileWriter final : public FileWriter {
 public:
  // `asRead`: what the run read at the target, which must still be there
  // when the new content is swapped in; `landed` is called once it is.
  Win32FileWriter(std::string target, TempNames names, Handle file, std::optional<Stamp> asRead,
                  std::function<void()> landed)
      : target_(std::move(target)),
        names_(std::move(names)),
        file_(std::move(file)),
        asRead_(asRead),
        landed_(std::move(landed)) {}

  ~Win32FileWriter() override {
    file_.Close();
    if (!committed_) DeleteFileA(names_.fresh.c_str());
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
    if (committed_) landed_();
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
    // Whatever another program made of the target since the run read it is
    // never written over.
    if (asRead_ && !StillAsRead(*asRead_, target_)) return false;
    const char* fresh = names_.fresh.c_str();
    if (!IsPresent(target_)) {
      return MoveFileExA(fresh, target_.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    // ReplaceFileA keeps the old file's attributes, ACLs and creation time.
    // With a backup name every way it can fail leaves the old content under
    // one of two names we know, so it can be put back.
    const char* old = names_.old.c_str();
    if (IsPresent(names_.old)) return false;
    const DWORD attributes = GetFileAttributesA(target_.c_str()) & kKeptAttributes;
    if (ReplaceFileA(target_.c_str(), fresh, old, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
      DeleteFileA(old);
      // Not every implementation carries the attributes over (Wine does not).
      if ((GetFileAttributesA(target_.c_str()) & kKeptAttributes) != attributes) {
        SetFileAttributesA(target_.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
      }
      return true;
    }
    if (IsPresent(target_)) {
      DeleteFileA(old);
    } else {
      MoveFileExA(old, target_.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    return false;
  }

  std::string target_;
  TempNames names_;
  Handle file_;
  std::optional<Stamp> asRead_;
  std::function<void()> landed_;
  std::string buffer_;
  bool failed_ = false;
  bool committed_ = false;
};

class Win32FileSystem final : public FileSystem {
 public:
  LockResult LockInstallation(const std::string& installDir,
                              std::chrono::milliseconds wait) override {
    return LockInstallationMutex(installDir, wait);
  }

  ReadResult ReadFile(const std::string& path) override {
    ReadResult result;
    read_.erase(path);
    if (!Openable(path)) {
      result.status = path.size() > kMaxPathLength ? ReadStatus::PathTooLong : ReadStatus::Missing;
      return result;
    }
    Visit(path);
    // The reading mode: others may read meanwhile, not write.
    Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) {
      const DWORD error = GetLastError();
      result.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                          ? ReadStatus::Missing
                          : ReadStatus::Unreadable;
      if (result.status == ReadStatus::Missing) read_[path] = Stamp{};
      return result;
    }
    // Taken before the first byte is read: a write while it is read moves it.
    if (std::optional<Stamp> stamp = StampOf(file.Get())) read_[path] = *stamp;
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
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
    // A link (whose own attributes those are) is a file only where it leads to one.
    Handle target(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return target.Valid() && GetFileInformationByHandle(target.Get(), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool CopyNoReplace(const std::string& from, const std::string& to) override {
    if (!Openable(from) || !Openable(to)) return false;
    Visit(to);
    if (IsPresent(to)) return false;
    // Held open while it is copied, letting others read it but neither write,
    // rename nor delete it, and checked against what the run read: the copy
    // is of the file the run judged, as it judged it.
    Handle source(CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source.Valid()) return false;
    const auto asRead = read_.find(from);
    if (asRead != read_.end() && !Unchanged(asRead->second, StampOf(source.Get()))) return false;
    // Copied under a temporary name and renamed into place without replacing,
    // so that a copy broken off part-way, even by a kill, is never taken for
    // the backup: that one is whole or absent.
    const std::string folder = FolderOf(to);
    const std::string name = to.substr(folder.size());
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string temp = TempNamesFor(folder, name, NextSalt()).fresh;
      if (temp.empty()) return false;
      if (!CopyFileA(from.c_str(), temp.c_str(), TRUE)) {
        const DWORD error = GetLastError();
        DeleteFileA(temp.c_str());  // the beginning of a copy that broke off
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
        return false;
      }
      if (MoveFileExA(temp.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
      DeleteFileA(temp.c_str());
      return false;
    }
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
    Visit(path);
    // Swapped in under the name the file has (a file that is not there yet is
    // created under ours), so that a game file never changes its name.
    const std::string target = WithListedName(path, ListedName(path));
    TempNames names;
    Handle temp = CreateTempBeside(target, names);
    if (!temp.Valid()) return nullptr;
    std::optional<Stamp> asRead;
    if (const auto read = read_.find(path); read != read_.end()) asRead = read->second;
    // The new content is this run's own: what it read there no longer counts.
    return std::make_unique<Win32FileWriter>(target, std::move(names), std::move(temp), asRead,
                                             [this, path] { read_.erase(path); });
  }

  bool Remove(const std::string& path) override {
    if (!Openable(path)) return false;
    // A link is deleted itself, never what it points to. Read-only is checked
    // outright, as for a rewrite: the user's protection holds under Wine too.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
      return false;
    }
    return DeleteFileA(path.c_str()) != 0;
  }

 private:
  // The first time a run touches a folder, it clears what killed runs left there.
  void Visit(const std::string& path) {
    const std::string folder = FolderOf(path);
    if (visited_.insert(folder).second) RemoveStaleTemps(folder);
  }

  std::set<std::string> visited_;
  // What each file was when this run last read it, by the path it was read at.
  std::map<std::string, Stamp> read_;
};

}  // namespace

std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace corvaldo
