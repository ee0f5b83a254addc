// Linux: the file seam over real files. The core names files by Windows paths;
// where those lie on this machine is the caller's business (a Wine prefix's
// drives), handed in as a mapping.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gamefiles/file_system.h"
#include "gamefiles/io_posix.h"  // OpenUntimed, for the readers beside the seam

namespace corvaldo {

// The Unix path a Windows path stands for; absent when nothing can be there,
// errno then saying why (ENOENT for a missing name, the system's error for a
// folder on the way that could not be looked into). With `forCreate` the
// last component may be missing.
using PathMap =
    std::function<std::optional<std::string>(const std::string& windowsPath, bool forCreate)>;

// `unnamedTemps` false makes every temporary file a named one from the start,
// as on file systems without O_TMPFILE. `preview` makes one for a dry run,
// which writes nothing: it leaves killed runs' temporary files alone, reads
// without updating access times where the files' owner (or root) may, and
// its writing operations only check: CopyNoReplace says whether the copy
// could be made, OpenForReplace hands out a writer that keeps nothing and
// never commits.
std::unique_ptr<FileSystem> MakePosixFileSystem(PathMap map, bool unnamedTemps = true,
                                                bool preview = false);

}  // namespace corvaldo
