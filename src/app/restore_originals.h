// The restore ("/u"): the game's original files back from the backups "/b"
// kept, wherever the patch's result is still there to be undone.
#pragma once

#include <string>
#include <vector>

#include "app/run_options.h"
#include "gamefiles/file_system.h"
#include "gamefiles/registry.h"
#include "patches/patch_state.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace corvaldo {

// Finds the game as a patch run does (not installed: told unless silent, and
// kExitOk), then puts each of the three game files back (RestoreGameFiles).
// It holds the installation as a patch run does (held by another run for the
// whole wait: kExitBusy, nothing read). Returns kExitOk when every file is
// original afterwards, kExitNotWritten
// when one is not (changed since the patch, no backup, not written or not
// readable); the others are restored all the same. Unless silent or
// `tellLeftAlone` is false, the user is told which files, and which backups
// stayed, and why. What became of each file goes to `reports` when given.
int RestoreOriginals(const RunOptions& options, FileSystem& fs, Registry& registry,
                     UserInterface& ui, std::vector<FileReport>* reports = nullptr,
                     bool tellLeftAlone = true);

// Whether a restore has anything to say of a file: one left alone, or a
// backup it could not remove.
bool AnyLeftAlone(const std::vector<FileReport>& reports);

// The message naming each file a restore left alone (its name, without the
// folder), with its reason.
std::string NotRestoredMessage(const std::vector<FileReport>& reports);

}  // namespace corvaldo
