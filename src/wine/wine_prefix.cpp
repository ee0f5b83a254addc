#include "wine/wine_prefix.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

#include "gamefiles/io_posix.h"
#include "text/text_helpers.h"
#include "wine/system_reg.h"

namespace corvaldo {
namespace {

// However full a home folder is, the search reads no more than this.
constexpr std::size_t kMaxNamesPerPlace = 4096;  // folder entries listed in one place
constexpr std::size_t kMaxPrefixesRead = 256;    // system.reg files read in all
constexpr std::size_t kMaxSteamLibraries = 16;
constexpr std::size_t kMaxLibraryFoldersSize = 1u << 20;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// How a launcher lays out the prefixes in its place.
enum class Layout {
  Itself,            // the place is one prefix (~/.wine)
  Children,          // each folder in it is a prefix
  ProtonChildren,    // each folder in it keeps its prefix in pfx/ (Proton)
  ChildrenOrProton,  // each folder is a prefix or keeps one in pfx/ (Wine or Proton)
};

struct Place {
  const char* launcher;
  std::string folder;
  Layout layout;
};

// The names in an open folder, sorted, so that the list the user sees does not
// depend on the order the file system keeps.
std::vector<std::string> ListFolder(int folder) {
  std::vector<std::string> names;
  Descriptor copy(fcntl(folder, F_DUPFD_CLOEXEC, 0));
  if (!copy.valid()) return names;
  // The listing owns the copy once it is open.
  const Listing listing(fdopendir(copy.get()));
  if (!listing) return names;
  copy.release();
  while (names.size() < kMaxNamesPerPlace) {
    const dirent* entry = readdir(listing.get());
    if (entry == nullptr) break;
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Folders already visited, each for a given purpose.
using Visited = std::set<std::tuple<dev_t, ino_t, int>>;

// False when the open folder was visited for `purpose` before (reached again
// through a link, or listed twice), and also when it cannot be told apart.
bool FirstVisit(int folder, Visited& visited, int purpose = 0) {
  struct stat st;
  return fstat(folder, &st) == 0 && visited.emplace(st.st_dev, st.st_ino, purpose).second;
}

class Search {
 public:
  void Look(const Place& place) {
    // The place itself may be reached through links: Steam's ~/.steam/steam
    // is one, and a library or ~/Games may live on another disk.
    const Descriptor root(open(place.folder.c_str(), kFolderFlags));
    // A place reached again under the same layout would give the same prefixes.
    if (!root.valid() || !FirstVisit(root.get(), placesSeen_, static_cast<int>(place.layout))) {
      return;
    }
    if (place.layout == Layout::Itself) {
      Inspect(root.get(), place.folder, place.launcher);
      return;
    }
    for (const std::string& name : ListFolder(root.get())) {
      // Below a place no layout needs a link, so none is followed.
      const Descriptor child(openat(root.get(), name.c_str(), kFolderFlags | O_NOFOLLOW));
      if (!child.valid()) continue;
      const std::string path = place.folder + "/" + name;
      if (place.layout != Layout::ProtonChildren) Inspect(child.get(), path, place.launcher);
      if (place.layout != Layout::Children) {
        const Descriptor pfx(openat(child.get(), "pfx", kFolderFlags | O_NOFOLLOW));
        if (pfx.valid()) Inspect(pfx.get(), path + "/pfx", place.launcher);
      }
    }
  }

  std::vector<FoundPrefix> TakeFound() { return std::move(found_); }

 private:
  void Inspect(int folder, const std::string& path, const char* launcher) {
    if (!FirstVisit(folder, seen_)) return;
    struct stat st;
    if (fstatat(folder, "system.reg", &st, AT_SYMLINK_NOFOLLOW) != 0) return;  // not a prefix
    if (prefixesRead_ >= kMaxPrefixesRead) return;
    ++prefixesRead_;
    std::optional<RegistryValue> value =
        reader_.FindAt(folder, "system.reg", kGameKeyPath, kInstallDirValueName);
    if (value && HoldsGame(*value)) found_.push_back({path, launcher, std::move(*value)});
  }

  Visited seen_;
  Visited placesSeen_;
  std::size_t prefixesRead_ = 0;
  SystemRegReader reader_;  // one buffer for every registry read
  std::vector<FoundPrefix> found_;
};

// Where each launcher keeps its prefixes when left to its defaults, from its
// own documentation or sources:
// - Wine: ~/.wine, the prefix when WINEPREFIX is unset (wine(1)).
// - Lutris: games go to ~/Games/<game> ("Default installation folder" in its
//   system options), the installer scripts making that folder the prefix
//   (prefix: $GAMEDIR, docs/installers.rst).
// - Bottles: $XDG_DATA_HOME/bottles/bottles/<bottle>, which for the Flatpak is
//   ~/.var/app/com.usebottles.bottles/data/bottles/bottles/<bottle>.
// - PlayOnLinux 4: ~/.PlayOnLinux/wineprefix/<name> (its Linux.properties,
//   application.user.wineprefix); Phoenicis: ~/.Phoenicis/containers/wineprefix/<name>
//   (containers path, WINE_PREFIX_DIR "wineprefix"), and the same under
//   ~/.var/app/org.phoenicis.playonlinux for its Flatpak.
// - Heroic: ~/Games/Heroic/Prefixes/default/<game> (defaultWinePrefix), older
//   releases ~/Games/Heroic/Prefixes/<game>; a Proton prefix keeps Wine's in pfx/.
// - CrossOver: a user's bottles are ~/.cxoffice/<bottle> (user guide, appendix
//   "Directory Structure").
// - Steam: Proton makes steamapps/compatdata/<appid>/pfx in the library that
//   holds the game (Proton FAQ); the first library is ~/.local/share/Steam,
//   reached also as ~/.steam/steam, the Flatpak's is under
//   ~/.var/app/com.valvesoftware.Steam, the Snap's under ~/snap/steam/common;
//   the others are listed in steamapps/libraryfolders.vdf.
std::vector<Place> DefaultPlaces(const PrefixSearch& where) {
  const std::string& home = where.home;
  if (home.empty() || home[0] != '/') return {};
  const std::string data =
      !where.dataHome.empty() && where.dataHome[0] == '/' ? where.dataHome : home + "/.local/share";
  std::vector<Place> places = {
      {"Wine", home + "/.wine", Layout::Itself},
      {"Lutris", home + "/Games", Layout::Children},
      {"Bottles", data + "/bottles/bottles", Layout::Children},
      {"Bottles", home + "/.local/share/bottles/bottles", Layout::Children},
      {"Bottles (Flatpak)", home + "/.var/app/com.usebottles.bottles/data/bottles/bottles",
       Layout::Children},
      {"PlayOnLinux", home + "/.PlayOnLinux/wineprefix", Layout::Children},
      {"Phoenicis", home + "/.Phoenicis/containers/wineprefix", Layout::Children},
      {"Phoenicis (Flatpak)",
       home + "/.var/app/org.phoenicis.playonlinux/.Phoenicis/containers/wineprefix",
       Layout::Children},
      {"Heroic", home + "/Games/Heroic/Prefixes/default", Layout::ChildrenOrProton},
      {"Heroic", home + "/Games/Heroic/Prefixes", Layout::ChildrenOrProton},
      {"CrossOver", home + "/.cxoffice", Layout::Children},
  };

  const std::string steamRoots[] = {
      home + "/.local/share/Steam",
      home + "/.steam/steam",
      home + "/.var/app/com.valvesoftware.Steam/.local/share/Steam",
      home + "/snap/steam/common/.local/share/Steam",
  };
  std::vector<std::string> libraries;
  // ~/.steam/steam is usually a link to one of the others: its list is read once.
  Visited listsRead;
  for (const std::string& root : steamRoots) {
    libraries.push_back(root);
    const Descriptor steamapps(open((root + "/steamapps").c_str(), kFolderFlags));
    if (!steamapps.valid() || !FirstVisit(steamapps.get(), listsRead)) continue;
    const std::optional<std::string> vdf =
        ReadRegularFileAt(steamapps.get(), "libraryfolders.vdf", kMaxLibraryFoldersSize);
    if (!vdf) continue;
    for (std::string& library : SteamLibraryFolders(*vdf)) {
      if (libraries.size() >= kMaxSteamLibraries + std::size(steamRoots)) break;
      libraries.push_back(std::move(library));
    }
  }
  for (const std::string& library : libraries) {
    places.push_back({"Steam", library + "/steamapps/compatdata", Layout::ProtonChildren});
  }
  return places;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
  });
}

}  // namespace

// The rules LocateGame applies.
bool HoldsGame(const RegistryValue& value) {
  if (value.data.empty()) return false;
  if (value.type != kRegSz && value.type != kRegExpandSz) return true;
  return !IsBlank(value.data.substr(0, value.data.find('\0')));
}

std::string WinePrefixPath() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
    return prefix;
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::string(home) + "/.wine";
  }
  if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
    return std::string(user->pw_dir) + "/.wine";
  }
  return {};
}

PrefixSearch PrefixSearchFromEnvironment() {
  PrefixSearch where;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    where.home = home;
  } else if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
    where.home = user->pw_dir;
  }
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr) where.dataHome = data;
  return where;
}

std::vector<FoundPrefix> FindGamePrefixes(const PrefixSearch& where) {
  Search search;
  for (const Place& place : DefaultPlaces(where)) search.Look(place);
  return search.TakeFound();
}

std::vector<SearchedPlace> SearchedPlaces(const PrefixSearch& where) {
  std::vector<SearchedPlace> places;
  for (const Place& place : DefaultPlaces(where)) {
    const char* pattern = place.layout == Layout::Itself           ? ""
                          : place.layout == Layout::ProtonChildren ? "/*/pfx"
                                                                   : "/*";
    const bool listed = std::any_of(places.begin(), places.end(), [&](const SearchedPlace& seen) {
      return seen.folder == place.folder && std::string_view(seen.pattern) == pattern;
    });
    if (!listed) places.push_back({place.launcher, place.folder, pattern});
  }
  return places;
}

// libraryfolders.vdf is Valve's KeyValues text: quoted keys, each followed by
// a quoted value or a { } block, // comments; \\ and \" in quoted text.
std::vector<std::string> SteamLibraryFolders(std::string_view vdf) {
  std::vector<std::string> folders;
  std::string key;
  bool expectKey = true;
  std::size_t pos = 0;
  while (pos < vdf.size() && folders.size() < kMaxSteamLibraries) {
    const char c = vdf[pos++];
    if (c == '{' || c == '}') {
      expectKey = true;
    } else if (c == '/' && pos < vdf.size() && vdf[pos] == '/') {
      while (pos < vdf.size() && vdf[pos] != '\n') ++pos;
    } else if (c == '"') {
      std::string text;
      bool closed = false;
      while (pos < vdf.size()) {
        char d = vdf[pos++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\' && pos < vdf.size()) d = vdf[pos++];
        text += d;
      }
      if (!closed) break;
      if (expectKey) {
        key = std::move(text);
      } else if (EqualsIgnoringAsciiCase(key, "path") && !text.empty() && text[0] == '/' &&
                 text.find('\0') == std::string::npos) {
        folders.push_back(std::move(text));
      }
      expectKey = !expectKey;
    }
  }
  return folders;
}

}  // namespace corvaldo
