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

// An unknown option on Linux (EX_USAGE of sysexits.h).
inline constexpr int kExitUnknownOption = 64;

// What the platform makes of the command line before the switch rules read it.
struct CommandLine {
  // Set when the run ends here, having read and written nothing: help or the
  // version was printed, or an option was not understood.
  std::optional<int> exitCode;
  // The arguments the switch rules see.
  std::vector<std::string> switches;
  // Decide everything, write nothing, show what would change.
  bool dryRun = false;
};

// Windows: every argument goes to the switch rules, as installers expect.
// Linux: an argument starting with '-' (but "-" alone) or a typographic dash
// is an option wherever it stands, until "--"; the first of --help (or the
// switches /?, /h and /help), --version or an unknown option decides, as with
// getopt and the GNU tools; --dry-run sets dryRun, and --restore adds "/u" to
// the switches.
CommandLine ReadCommandLine(const std::vector<std::string>& arguments);

}  // namespace corvaldo
