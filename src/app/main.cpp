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
#include "app/run_report.h"
#include "app/startup.h"
#include "gamefiles/errors.h"
#include "ui/user_interface.h"

int main(int argc, char** argv) {
  using namespace corvaldo;
  // Before anything can load a DLL from the folder the exe was started in.
  HardenDllSearch();
  PlatformUserInterface ui;
  // What the report at the end needs, whether the run ends well or on an error.
  RunOptions options;
  bool dryRun = false;
  std::optional<GameLocation> game;
  std::vector<FileReport> reports;
  const auto report = [&](const EError* error) {
    if (game) ShowRunReport({reports, *game, error, options.Silent, dryRun, options.Restore}, ui);
  };
  try {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CommandLine commandLine = ReadCommandLine(arguments);
    if (commandLine.exitCode) return *commandLine.exitCode;
    options = ParseCommandLine(commandLine.switches);
    dryRun = commandLine.dryRun;
    // Before the status window: on Linux this may name the prefix, or end the
    // run when the game is in several.
    game = FindGameLocation(options.Silent, dryRun, arguments, argc > 0 ? argv[0] : "");
    if (game->exitCode) return *game->exitCode;
    int code;
    if (dryRun) {
      code = DryRunPatches(options, *game, ui, stdout);
    } else if (options.Restore) {
      if (!options.Silent) ui.ShowStatusWindow(kRestoreStatusMessage);
      // The files left alone are the report's to name.
      code = RestoreOriginals(options, *game->files, *game->registry, ui, &reports, false);
    } else {
      if (!options.Silent) ui.ShowStatusWindow(kStatusMessage);
      // The files not written are the report's to name.
      code = ApplyPatches(options, *game->files, *game->registry, ui, &reports, false);
    }
    report(nullptr);
    return code;
  } catch (const EError& error) {
    ui.ShowFailureReport(FailureReportFor(error));
    report(&error);
  } catch (const std::bad_alloc&) {
    ui.ShowFailureReport(
        FormatFailureReport("EOutOfMemory", ExecutableFileName(), 0, "Out of memory"));
  }
  return kExitError;
}
