// Process set-up that must run before anything else.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvaldo {

// Restricts where the process looks for DLLs it loads later to the system
// folder, so that a DLL planted beside the exe or in the current folder (a
// download folder, the game's folder) is never picked up. Call it first thing
// in main(); it does nothing where the platform has no such search.
void HardenDllSearch();

// Where commands are expected to explain themselves (Linux): when the first
// argument is --help, -h or --version, prints the usage or the version and
// returns the exit code, having touched nothing. Absent otherwise, and always
// on Windows, where every argument follows the switch rules.
std::optional<int> AnswerInformationRequest(const std::vector<std::string>& arguments);

}  // namespace corvaldo
