// Finding the game: the registry value turned into InstallDir.
#pragma once

#include <optional>
#include <string>

#include "gamefiles/registry.h"

namespace corvaldo {

class UserInterface;

// The value's text up to its first NUL; empty when absent or empty. A value
// that is not a string raises ERegistryException.
std::string ReadInstallDir(Registry& registry);

// InstallDir with one trailing backslash removed, or nothing when the game is
// not installed (the user is told unless `silent`).
std::optional<std::string> LocateGame(Registry& registry, UserInterface& ui, bool silent);

inline constexpr const char* kNotInstalledMessage = "O TCM 2005 n\xE3o est\xE1 instalado!";

}  // namespace corvaldo
