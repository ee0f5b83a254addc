// What the failure report says of the running exe: its name, and where in it
// an error was raised.
#include <windows.h>

#include <cstdint>
#include <string>

#include "gamefiles/errors.h"

namespace corvaldo {

std::string ExecutableFileName() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), size);
    if (length == 0) return std::string();
    if (length < size) {
      path.resize(length);
      break;
    }
    // Truncated: the exe lives under a long path; try again with more room.
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint32_t ModuleRelativeAddress(const void* address) {
  const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) - base);
}

}  // namespace corvaldo
