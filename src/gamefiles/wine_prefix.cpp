#include "gamefiles/wine_prefix.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace corvaldo {

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

}  // namespace corvaldo
