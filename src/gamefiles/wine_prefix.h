// Linux only: which Wine prefix holds the game, and the seams over a prefix.
#pragma once

#include <memory>
#include <string>

#include "gamefiles/file_system.h"
#include "gamefiles/registry.h"

namespace corvaldo {

// $WINEPREFIX when set and non-empty, else $HOME/.wine.
std::string WinePrefixPath();

// The seams over a given prefix; MakePlatformRegistry and MakePlatformFileSystem
// use WinePrefixPath().
std::unique_ptr<Registry> MakeWineRegistry(std::string prefix);
// `unnamedTemps` false makes every temporary file a named one from the start,
// as on file systems without O_TMPFILE.
std::unique_ptr<FileSystem> MakeWineFileSystem(std::string prefix, bool unnamedTemps = true);

}  // namespace corvaldo
