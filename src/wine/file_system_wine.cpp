// The file seam on Linux: the game's Windows paths through the prefix's drives.
#include <utility>

#include "gamefiles/file_system_posix.h"
#include "wine/wine_path.h"
#include "wine/wine_prefix.h"

namespace corvaldo {

std::unique_ptr<FileSystem> MakeWineFileSystem(std::string prefix, bool unnamedTemps,
                                               bool preview) {
  return MakePosixFileSystem(
      [prefix = std::move(prefix)](const std::string& path, bool forCreate) {
        return MapWindowsPath(prefix, path, forCreate);
      },
      unnamedTemps, preview);
}

std::unique_ptr<FileSystem> MakePlatformFileSystem() {
  return MakeWineFileSystem(WinePrefixPath());
}

}  // namespace corvaldo
