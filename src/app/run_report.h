// What the user is told once the patches have run: the files, and where an
// error was met.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/game_location.h"
#include "gamefiles/errors.h"
#include "patches/patch_state.h"
#include "ui/user_interface.h"

namespace corvaldo {

// A run at its end.
struct RunEnd {
  const std::vector<FileReport>& files;  // what ApplyPatches handed back
  const GameLocation& game;
  const EError* error = nullptr;  // the error that ended it, already reported
  bool silent = false;
  bool dryRun = false;   // its own report has been written
  bool restore = false;  // "/u": the files were restored, not patched
};

// The platform's. Windows: the files that could not be written, in the
// dialog that has always named them, and nothing else. Linux, on stderr:
// the file and line an error was met in (even when silent); unless silent,
// where the game was looked for when it was not found, and, after a real
// run, the files not written by their paths and the system's reasons (as
// a message that waits like the dialog), then the closing report.
void ShowRunReport(const RunEnd& run, UserInterface& ui);

// The pieces of Linux's report, as UTF-8 terminal lines, each path quoted
// for the terminal. `hostPath` gives a game file's place on this machine
// from its Windows path (none: the Windows path itself).
using HostPath = std::function<std::string(const std::string& windowsPath)>;

// "Could not write:", each file with the system's reason, and, where one
// was refused as on a read-only file system and `onNtfs` says its path is
// on NTFS, the usual cause of that. Empty when every file was written.
std::string NotWrittenReport(const std::vector<FileReport>& files, const HostPath& hostPath,
                             const std::function<bool(const std::string& path)>& onNtfs);

// "Could not restore:" and each file a restore left alone, by its path, with
// the reason. Empty when every file is original.
std::string NotRestoredReport(const std::vector<FileReport>& files, const HostPath& hostPath);

// Each file and what became of it, and each backup made or removed, in the
// run's order.
// A restore's files (`restore`) that were original already say so.
std::string ClosingReport(const std::vector<FileReport>& files, const HostPath& hostPath,
                          bool restore = false);

// The game file the error was met in, and its line where known; empty when
// no game file was being read.
std::string ErrorPlace(const EError& error, const HostPath& hostPath);

}  // namespace corvaldo
