#include "patches/rewrite.h"

#include <cerrno>
#include <cstring>

namespace corvaldo {
namespace {

// Why the step on `path` that just failed did: the file system's reason, or
// the length limit, which the line files apply before asking it.
std::string FailureOf(const PatchState& state, const std::string& path) {
  if (path.size() > kMaxPathLength) return std::strerror(ENAMETOOLONG);
  return state.fs.FailureReason();
}

}  // namespace

bool RewriteGameFile(PatchState& state, const GameFile& file, ReadStatus readOutcome,
                     const std::function<void()>& writeLines) {
  const std::string path = PathOf(state, file);
  FileReport& report = state.AddReport(file);
  bool landed = false;
  // Lines from a partial read must never replace the whole file.
  if (!ReadWhole(readOutcome)) {
    // The read was the patch's last use of the file system.
    report.reason = FailureOf(state, path);
  } else {
    bool backupSafe = true;
    if (state.options.MakeBackups && readOutcome == ReadStatus::Ok) {
      const std::string backup = state.InstallDir + file.backup;
      report.backupMade = BackupOnce(state.fs, path, backup);
      const std::string copyFailure = FailureOf(state, backup);
      // The user asked to keep the original: no copy, no rewrite.
      backupSafe = state.fs.Exists(backup);
      if (!backupSafe) report.reason = copyFailure;
    }
    if (backupSafe) {
      state.file.OpenForRewrite(path);
      writeLines();
      landed = state.file.CloseFile();
      if (!landed) report.reason = FailureOf(state, path);
    }
  }
  report.outcome = landed ? FileOutcome::Changed : FileOutcome::NotWritten;
  return landed;
}

void ReportInOrder(PatchState& state, const GameFile& file) { state.AddReport(file); }

}  // namespace corvaldo
