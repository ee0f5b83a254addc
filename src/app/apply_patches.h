// The patch procedure: find the game, then run the selected patches in their
// fixed order over one shared line list.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "gamefiles/file_system.h"
#include "gamefiles/registry.h"
#include "patches/patch_state.h"
#include "ui/messages.h"
#include "ui/user_interface.h"

namespace corvaldo {

inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitNotWritten = 2;
// Another run of ours held the installation for the whole wait.
inline constexpr int kExitBusy = 4;

// How long a run waits for another one on the same installation: long enough
// for a run over the game's files, short enough for an installer to go on.
inline constexpr std::chrono::seconds kInstallationWait{30};

// LocateGame; when the game is not installed, the user is told unless silent.
std::optional<std::string> FindInstallation(Registry& registry, UserInterface& ui, bool silent);

// Takes the installation's lock for a run, waiting kInstallationWait for
// another run of ours to let it go; when it does not (Busy), the user is told
// unless silent.
LockResult HoldInstallation(FileSystem& fs, const std::string& installDir, bool silent,
                            UserInterface& ui);

// A run's start: finds the game (not installed: kExitOk, the user told
// unless silent) into `state.InstallDir`, then holds it in `hold` (held
// elsewhere for the whole wait: kExitBusy). Nothing when the run goes on.
std::optional<int> FindAndHold(PatchState& state, bool silent, Registry& registry,
                               UserInterface& ui, LockResult& hold);

// Runs the stages, holding the installation against other runs of ours from
// before the first file is read until the last is written; returns kExitOk,
// or kExitNotWritten when a needed rewrite did not land (the user is told
// which files unless silent or `tellNotWritten` is false), or kExitBusy,
// having read nothing, when another run held the installation for
// kInstallationWait (the user is told unless silent). What became of each
// file goes to `reports` when given (also when an error ends the run: the
// files before it); it stays empty when the game is not installed or busy.
// The three error kinds propagate to the caller, the installation let go.
int ApplyPatches(const RunOptions& options, FileSystem& fs, Registry& registry, UserInterface& ui,
                 std::vector<FileReport>* reports = nullptr, bool tellNotWritten = true);

// The message naming the files that could not be written.
std::string NotWrittenMessage(const std::vector<std::string>& files);

}  // namespace corvaldo
