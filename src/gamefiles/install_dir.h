// Finding the game: the registry value turned into InstallDir.
#pragma once

#include <optional>
#include <string>

#include "gamefiles/registry.h"

namespace corvaldo {

// The value's text up to its first NUL; empty when absent or empty. A value
// that is not a string raises ERegistryException.
std::string ReadInstallDir(Registry& registry);

// InstallDir with one trailing backslash removed, or nothing when the game is
// not installed.
std::optional<std::string> LocateGame(Registry& registry);

}  // namespace corvaldo
