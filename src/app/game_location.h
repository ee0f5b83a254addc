// Where the run finds the game's registry value and files. Windows has one
// registry; a Linux user may keep the game in any of several Wine prefixes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gamefiles/file_system.h"
#include "gamefiles/registry.h"

namespace corvaldo {

// The game is in more than one Wine prefix and the user has not chosen one.
inline constexpr int kExitSeveralPrefixes = 3;

struct GameLocation {
  std::unique_ptr<Registry> registry;
  std::unique_ptr<FileSystem> files;
  // Set when the run must end before it starts, with this code.
  std::optional<int> exitCode;
  // Where a game file's Windows path lies on this machine, in UTF-8, for the
  // user to open; unset where the Windows path is that name.
  std::function<std::string(const std::string& windowsPath)> hostPath;
};

// Windows: the registry and the file system. Linux: the prefix in $WINEPREFIX,
// else the one prefix that holds the game (named on stderr unless `silent`);
// none is the game not installed; several end the run with
// kExitSeveralPrefixes, listed unless `silent` with a ready command line for
// each, made of `arguments`. With `preview` the files are opened for a dry
// run, which writes nothing.
GameLocation FindGameLocation(bool silent, bool preview, const std::vector<std::string>& arguments);

}  // namespace corvaldo
