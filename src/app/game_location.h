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
// The Wine prefix cannot be used: a relative WINEPREFIX, a system.reg that is
// there but cannot be read, or a root run that could not take the prefix
// owner's rights.
inline constexpr int kExitPrefixUnusable = 5;

struct GameLocation {
  std::unique_ptr<Registry> registry;
  std::unique_ptr<FileSystem> files;
  // Set when the run must end before it starts, with this code.
  std::optional<int> exitCode;
  // Where a game file's Windows path lies on this machine, in UTF-8, for the
  // user to open; unset where the Windows path is that name.
  std::function<std::string(const std::string& windowsPath)> hostPath;
  // Linux, when the run will find the game not installed: where it was
  // looked for and why it is not there, as terminal lines (UTF-8).
  std::string searchReport;
};

// Windows: the registry and the file system. Linux: the prefix in $WINEPREFIX
// (an absolute path, else kExitPrefixUnusable), else the one prefix that
// holds the game (named on stderr unless `silent`); none is the game not
// installed; several end the run with kExitSeveralPrefixes, listed unless
// `silent` with a ready command line for each, made of `program` (argv[0],
// used where it holds a slash) and `arguments`. A root run on another user's
// prefix takes that user's rights before it opens any file there (with
// WINEPREFIX, before its system.reg). With `preview` the files are opened
// for a dry run, which writes nothing.
GameLocation FindGameLocation(bool silent, bool preview, const std::vector<std::string>& arguments,
                              const std::string& program);

}  // namespace corvaldo
