// Linux only: Windows paths mapped onto a Wine prefix's drives.
#pragma once

#include <optional>
#include <string>

namespace corvaldo {

// Maps an absolute Windows path (CP1252, at most kMaxPathLength characters) to
// the Unix path Wine would open: X:\a\b -> <prefix>/dosdevices/x:/a/b (C: falls
// back to <prefix>/drive_c), \a\b is on drive C:. Each component must exist,
// and maps to the name its folder lists: its UTF-8 form, else one equal to it
// case-insensitively (it is not looked up under our spelling first, which a
// case-insensitive file system would find too); with `forCreate` the final
// component may be missing and then maps to its UTF-8 form in the resolved
// folder. UNC, device and relative paths, names with characters Windows
// forbids, and over-long paths do not resolve. When absent, errno says why:
// ENOENT for a missing component, the system's error for a folder that could
// not be looked into (EACCES, ELOOP, ...), ENAMETOOLONG, EINVAL for a path
// that names no file.
std::optional<std::string> MapWindowsPath(const std::string& prefix, const std::string& windowsPath,
                                          bool forCreate);

}  // namespace corvaldo
