// Script Corvaldo: gives Portugal its cup in TOTAL CLUB MANAGER 2005.
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "app/apply_patches.h"
#include "app/run_options.h"
#include "app/startup.h"
#include "gamefiles/errors.h"
#include "gamefiles/file_system.h"
#include "gamefiles/registry.h"
#include "ui/user_interface.h"

int main(int argc, char** argv) {
  using namespace corvaldo;
  // Before anything can load a DLL from the folder the exe was started in.
  HardenDllSearch();
  PlatformUserInterface ui;
  try {
    const RunOptions options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.Silent) ui.ShowStatusWindow(kStatusMessage);
    std::unique_ptr<FileSystem> fs = MakePlatformFileSystem();
    std::unique_ptr<Registry> registry = MakePlatformRegistry();
    return ApplyPatches(options, *fs, *registry, ui);
  } catch (const EError& error) {
    ui.ShowFailureReport(FailureReportFor(error));
  } catch (const std::bad_alloc&) {
    ui.ShowFailureReport(
        FormatFailureReport("EOutOfMemory", ExecutableFileName(), 0, "Out of memory"));
  }
  return kExitError;
}
