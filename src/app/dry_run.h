// The dry run: the whole run, every decision made as in a real one, nothing
// written; then what would have changed, shown to the user.
#pragma once

#include <cstdio>

#include "app/game_location.h"
#include "app/run_options.h"
#include "ui/user_interface.h"

namespace corvaldo {

// Runs the patches as ApplyPatches does (with "/u", the restore as
// RestoreOriginals does) over `game` (its files opened for a preview),
// keeping what they write in memory. Then writes to `out`, in UTF-8: for each
// file that would be rewritten, notes on what changes besides its lines,
// "--- path" and "+++ path" (game.hostPath's names, quoted as GNU diff quotes
// them) and the hunks of a unified diff of its lines; each backup "/b" would
// make, and each a restore would remove; each file a real run could not write
// (a restore: could not restore), with the reason; and "Nada foi alterado. /
// Nothing was changed.". Names outside the diff are quoted as a shell reads
// them. The status window is not shown: nothing is updated. Returns a real
// run's exit code, but kExitOk for kExitNotWritten (those files are listed
// instead), or kExitError when `out` could not be written. An error of the
// three kinds is reported on `out` as far as the run got and propagates, as
// it would end a real run there.
int DryRunPatches(const RunOptions& options, GameLocation& game, UserInterface& ui, std::FILE* out);

}  // namespace corvaldo
