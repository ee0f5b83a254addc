// Linux only: a Wine prefix's system.reg, read the way a 32-bit Windows
// process would see HKEY_LOCAL_MACHINE.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "gamefiles/registry.h"

namespace corvaldo {

// Anything bigger is not a registry file Wine wrote.
inline constexpr std::size_t kMaxRegistryFileSize = 256u << 20;

// Looks up a value of HKEY_LOCAL_MACHINE in the text of a prefix's system.reg,
// as a 32-bit process sees it: in a win64 prefix, Software\... is read from
// Software\Wow6432Node\.... `keyPath` and `valueName` are CP1252 and match
// case-insensitively; an empty `valueName` is the key's default value. Strings
// come back converted to CP1252 with their terminating NUL, the way
// RegQueryValueExA returns them. Absent when the text is not a Wine registry,
// or the key or the value is missing or malformed.
std::optional<RegistryValue> FindWineRegistryValue(std::string_view systemReg,
                                                   std::string_view keyPath,
                                                   std::string_view valueName);

// The same, reading <prefix>/system.reg; absent when the file cannot be read,
// is not a regular file or is bigger than kMaxRegistryFileSize.
std::optional<RegistryValue> ReadPrefixRegistryValue(const std::string& prefix,
                                                     std::string_view keyPath,
                                                     std::string_view valueName);

// The whole of the file `name` in the open folder `folder`, when it is a
// regular file, not a symbolic link, of at most `limit` bytes.
std::optional<std::string> ReadRegularFileAt(int folder, const char* name, std::size_t limit);

}  // namespace corvaldo
