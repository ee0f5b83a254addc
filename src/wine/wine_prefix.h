// Linux only: which Wine prefix holds the game, and the seams over a prefix.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gamefiles/file_system.h"
#include "gamefiles/registry.h"

namespace corvaldo {

// $WINEPREFIX when set and non-empty, else $HOME/.wine.
std::string WinePrefixPath();

// A prefix whose system.reg holds the game's "Install Dir".
struct FoundPrefix {
  std::string path;      // the prefix folder, the one that holds system.reg
  std::string launcher;  // whose default place it was found in: "Wine", "Lutris", ...
  RegistryValue installDir;
};

// Where the search starts: the home folder and $XDG_DATA_HOME (empty when
// unset, then ~/.local/share).
struct PrefixSearch {
  std::string home;
  std::string dataHome;
};

// The home folder ($HOME, else the password database) and $XDG_DATA_HOME.
PrefixSearch PrefixSearchFromEnvironment();

// Looks for the game in ~/.wine and in the prefixes the common launchers make
// in their default places (Lutris, Bottles, PlayOnLinux and Phoenicis, Heroic,
// CrossOver, Steam's Proton), in that order, each place's prefixes sorted by
// name. Bounded: only the fixed depth each layout has, symbolic links followed
// only to reach the places themselves, a cap on the folders listed and on the
// prefixes read. A prefix reached twice counts once. A prefix that cannot be
// read, or whose system.reg is not one (damaged, too big, not a regular file,
// a link), is skipped. A blank "Install Dir" does not count; one that is not
// text does, so that the run reports it.
std::vector<FoundPrefix> FindGamePrefixes(const PrefixSearch& where);

// A place that search looks in, for the user: whose it is, and where its
// prefixes are: `folder` followed by `pattern` ("", "/*" or "/*/pfx").
struct SearchedPlace {
  const char* launcher;
  std::string folder;
  const char* pattern;
};

// The places FindGamePrefixes looks in, each once, in its order.
std::vector<SearchedPlace> SearchedPlaces(const PrefixSearch& where);

// The rules the run applies to a value: empty or blank text is no game; a
// value that is not text is one, which the run then reports.
bool HoldsGame(const RegistryValue& value);

// The library folders listed in a Steam libraryfolders.vdf: the values of its
// "path" keys, absolute paths only, at most a few.
std::vector<std::string> SteamLibraryFolders(std::string_view vdf);

// The seams over a given prefix; MakePlatformRegistry and MakePlatformFileSystem
// use WinePrefixPath().
std::unique_ptr<Registry> MakeWineRegistry(std::string prefix);
// `unnamedTemps` false makes every temporary file a named one from the start,
// as on file systems without O_TMPFILE; `preview` one that writes nothing
// (see MakePosixFileSystem).
std::unique_ptr<FileSystem> MakeWineFileSystem(std::string prefix, bool unnamedTemps = true,
                                               bool preview = false);

}  // namespace corvaldo
