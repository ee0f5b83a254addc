// The installation's lock on Windows: a named mutex in the namespace of every
// session, made so that every user's run may wait on it.
#include "gamefiles/installation_lock_win32.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "gamefiles/handle_win32.h"

namespace corvaldo {
namespace {

// The hold on an installation: a named mutex, which Windows gives to the next
// waiter when the process ends without letting it go (abandoned: the files
// themselves are safe, each replaced whole or not at all).
class MutexLock final : public InstallationLock {
 public:
  explicit MutexLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexLock() override {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  HANDLE mutex_;
};

// The name of an installation's mutex, in the namespace of every session (an
// installer may run in another than the player's): the folder's identity, its
// volume's serial number and its file index, which no spelling, short name,
// junction or mapped drive changes; else, when it cannot be opened, a hash of
// its full path in upper case.
std::string InstallationMutexName(const std::string& installDir) {
  std::string folder = installDir;
  if (folder.empty() || folder.back() == ':') folder += '\\';
  char name[80];
  BY_HANDLE_FILE_INFORMATION info;
  const Handle handle(Openable(folder)
                          ? CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                          : INVALID_HANDLE_VALUE);
  const bool known = handle.Valid() && GetFileInformationByHandle(handle.Get(), &info);
  if (known) {
    std::snprintf(name, sizeof name, "Global\\script-corvaldo-%08lX-%08lX%08lX",
                  static_cast<unsigned long>(info.dwVolumeSerialNumber),
                  static_cast<unsigned long>(info.nFileIndexHigh),
                  static_cast<unsigned long>(info.nFileIndexLow));
    return name;
  }
  char full[MAX_PATH];
  const DWORD length =
      Openable(folder) ? GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr) : 0;
  std::string path = length > 0 && length < MAX_PATH ? std::string(full, length) : folder;
  CharUpperBuffA(path.data(), static_cast<DWORD>(path.size()));
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : path) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  std::snprintf(name, sizeof name, "Global\\script-corvaldo-path-%016llX",
                static_cast<unsigned long long>(hash));
  return name;
}

// A named mutex any user's run may wait on and let go: an installer run with
// administrator rights makes it as well as the player's own run.
HANDLE OpenInstallationMutex(const std::string& name) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // SYNCHRONIZE and MUTEX_MODIFY_STATE for everyone.
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
          "D:(A;;0x00100001;;;WD)", SDDL_REVISION_1, &descriptor, nullptr)) {
    descriptor = nullptr;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  HANDLE mutex = CreateMutexA(descriptor ? &attributes : nullptr, FALSE, name.c_str());
  if (descriptor) LocalFree(descriptor);
  // One that exists already is opened for what a waiter needs.
  if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
    mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
  }
  return mutex;
}

}  // namespace

LockResult LockInstallationMutex(const std::string& installDir, std::chrono::milliseconds wait) {
  LockResult result;
  const HANDLE mutex = OpenInstallationMutex(InstallationMutexName(installDir));
  if (mutex == nullptr) return result;
  const auto milliseconds =
      static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(wait.count(), INFINITE - 1));
  switch (WaitForSingleObject(mutex, milliseconds)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder died: the files are whole, each old or new
      result.status = LockStatus::Held;
      result.lock = std::make_unique<MutexLock>(mutex);
      return result;
    case WAIT_TIMEOUT:
      result.status = LockStatus::Busy;
      break;
    default:
      break;
  }
  CloseHandle(mutex);
  return result;
}

}  // namespace corvaldo
