#include <windows.h>

#include "app/startup.h"

namespace corvaldo {

void HardenDllSearch() {
  // Looked up at run time: Windows before 8 has it only with KB2533623.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const FARPROC proc = kernel32 ? GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
  if (proc != nullptr) {
    const auto setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(proc));
    if (setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  }
  // Without it, at least take the current folder out of the search.
  SetDllDirectoryA("");
}

// An installer or a user may pass anything; the switch rules ignore it.
CommandLine ReadCommandLine(const std::vector<std::string>& arguments) {
  return {std::nullopt, arguments, false};
}

}  // namespace corvaldo
