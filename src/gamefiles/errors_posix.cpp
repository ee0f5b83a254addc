// What the failure report says of the running binary: its name, and where
// in it an error was raised.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

#include "gamefiles/errors.h"

namespace corvaldo {

std::string ExecutableFileName() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "script-corvaldo";
  const std::string full(path, static_cast<std::size_t>(length));
  return full.substr(full.find_last_of('/') + 1);
}

std::uint32_t ModuleRelativeAddress(const void* address) {
  Dl_info info{};
  if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fbase == nullptr) return 0;
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) -
                                    reinterpret_cast<std::uintptr_t>(info.dli_fbase));
}

}  // namespace corvaldo
