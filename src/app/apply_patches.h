// The patch procedure: find the game, then run the selected patches in their
// fixed order over one shared line list.
#pragma once

#include <string>
#include <vector>

#include "app/run_options.h"
#include "gamefiles/file_system.h"
#include "gamefiles/registry.h"
#include "patches/patch_state.h"
#include "ui/user_interface.h"

namespace corvaldo {

// Five lines separated by LF CR (in that order), the third empty.
inline constexpr const char* kStatusMessage =
    "Actualizando o script da Corvaldo...\n\rAguarde\n\r\n\r"
    "Updating the Portuguese FA Cup script...\n\rPlease Wait.";

inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitNotWritten = 2;

// Runs the stages; returns kExitOk, or kExitNotWritten when a needed rewrite
// did not land (the user is told which files unless silent or
// `tellNotWritten` is false). What became of each file goes to `reports` when
// given (also when an error ends the run: the files before it); it stays
// empty when the game is not installed. The three error kinds propagate to
// the caller.
int ApplyPatches(const RunOptions& options, FileSystem& fs, Registry& registry, UserInterface& ui,
                 std::vector<FileReport>* reports = nullptr, bool tellNotWritten = true);

// The message naming the files that could not be written.
std::string NotWrittenMessage(const std::vector<std::string>& files);

}  // namespace corvaldo
