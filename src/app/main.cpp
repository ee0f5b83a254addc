// Script Corvaldo: gives Portugal its cup in TOTAL CLUB MANAGER 2005.
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/apply_patches.h"
#include "app/dry_run.h"
#include "app/game_location.h"
#include "app/restore_originals.h"
#include "app/run_options.h"
#include "app/startup.h"
#include "gamefiles/errors.h"
#include "ui/user_interface.h"

int main(int argc, char** argv) {
  using namespace corvaldo;
  // Before anything can load a DLL from the folder the exe was started in.
  HardenDllSearch();
  PlatformUserInterface ui;
  try {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CommandLine commandLine = ReadCommandLine(arguments);
    if (commandLine.exitCode) return *commandLine.exitCode;
    const RunOptions options = ParseCommandLine(commandLine.switches);
    // Before the status window: on Linux this may name the prefix, or end the
    // run when the game is in several.
    GameLocation game = FindGameLocation(options.Silent, commandLine.dryRun, arguments);
    if (game.exitCode) return *game.exitCode;
    if (commandLine.dryRun) return DryRunPatches(options, game, ui, stdout);
    if (options.Restore) {
      if (!options.Silent) ui.ShowStatusWindow(kRestoreStatusMessage);
      return RestoreOriginals(options, *game.files, *game.registry, ui);
    }
    if (!options.Silent) ui.ShowStatusWindow(kStatusMessage);
    return ApplyPatches(options, *game.files, *game.registry, ui);
  } catch (const EError& error) {
    ui.ShowFailureReport(FailureReportFor(error));
  } catch (const std::bad_alloc&) {
    ui.ShowFailureReport(
        FormatFailureReport("EOutOfMemory", ExecutableFileName(), 0, "Out of memory"));
  }
  return kExitError;
}
