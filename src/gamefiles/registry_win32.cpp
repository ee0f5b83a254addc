// The registry seam on Windows: the ANSI registry API on HKEY_LOCAL_MACHINE.
#include <windows.h>

#include <optional>
#include <string>

#include "gamefiles/errors.h"
#include "gamefiles/registry.h"

namespace corvaldo {
namespace {

// The value lives in the 32-bit view, where the game's 32-bit installer wrote
// it; a 64-bit build has to ask for that view explicitly.
constexpr REGSAM kView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0;

// Tried in turn: the first that a restricted key still allows wins.
constexpr REGSAM kAccessMasks[] = {
    KEY_READ, STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, KEY_QUERY_VALUE};
static_assert(kAccessMasks[1] == 0x20009);

class KeyCloser {
 public:
  explicit KeyCloser(HKEY key) : key_(key) {}
  ~KeyCloser() { RegCloseKey(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  HKEY key_;
};

class Win32Registry final : public Registry {
 public:
  std::optional<RegistryValue> QueryInstallDir() override {
    HKEY key = nullptr;
    bool opened = false;
    for (const REGSAM mask : kAccessMasks) {
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGameKeyPath, 0, mask | kView, &key) == ERROR_SUCCESS) {
        opened = true;
        break;
      }
    }
    if (!opened) return std::nullopt;
    const KeyCloser closer(key);

    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, kInstallDirValueName, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0) {
      return std::nullopt;
    }
    std::string data(size, '\0');
    DWORD received = size;
    // Fails when the value changed or vanished since the first query.
    if (RegQueryValueExA(key, kInstallDirValueName, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &received) != ERROR_SUCCESS) {
      throw ERegistryException(ERegistryException::Reason::FailedToGetData, kInstallDirValueName);
    }
    data.resize(received);
    return RegistryValue{type, std::move(data)};
  }
};

}  // namespace

std::unique_ptr<Registry> MakePlatformRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace corvaldo
