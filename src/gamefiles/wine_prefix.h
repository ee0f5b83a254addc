// Linux only: the game lives in a Wine prefix. This module finds the prefix,
// reads values from its system.reg the way a 32-bit Windows process would see
// them, and maps Windows paths onto the prefix's drives.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "gamefiles/file_system.h"
#include "gamefiles/registry.h"

namespace corvaldo {

// $WINEPREFIX when set and non-empty, else $HOME/.wine.
std::string WinePrefixPath();

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

// The same, reading <prefix>/system.reg; absent when the file cannot be read.
std::optional<RegistryValue> ReadPrefixRegistryValue(const std::string& prefix,
                                                     std::string_view keyPath,
                                                     std::string_view valueName);

// Maps an absolute Windows path (CP1252, at most kMaxPathLength characters) to
// the Unix path Wine would open: X:\a\b -> <prefix>/dosdevices/x:/a/b (C: falls
// back to <prefix>/drive_c), \a\b is on drive C:. Each component must exist,
// matched exactly or else case-insensitively by its UTF-8 form; with
// `forCreate` the final component may be missing and then maps to its UTF-8
// form in the resolved folder. UNC, device and relative paths, names with
// characters Windows forbids, and over-long paths do not resolve.
std::optional<std::string> MapWindowsPath(const std::string& prefix, const std::string& windowsPath,
                                          bool forCreate);

// The seams over a given prefix; MakePlatformRegistry and MakePlatformFileSystem
// use WinePrefixPath().
std::unique_ptr<Registry> MakeWineRegistry(std::string prefix);
// `unnamedTemps` false makes every temporary file a named one from the start,
// as on file systems without O_TMPFILE.
std::unique_ptr<FileSystem> MakeWineFileSystem(std::string prefix, bool unnamedTemps = true);

}  // namespace corvaldo
