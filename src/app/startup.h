// Process set-up that must run before anything else.
#pragma once

namespace corvaldo {

// Restricts where the process looks for DLLs it loads later to the system
// folder, so that a DLL planted beside the exe or in the current folder (a
// download folder, the game's folder) is never picked up. Call it first thing
// in main(); it does nothing where the platform has no such search.
void HardenDllSearch();

}  // namespace corvaldo
