#include "patches/rewrite.h"

namespace corvaldo {

bool RewriteGameFile(PatchState& state, const GameFile& file, ReadStatus readOutcome,
                     const std::function<void()>& writeLines) {
  const std::string path = PathOf(state, file);
  FileReport& report = state.reports.emplace_back(FileReport{file});
  bool landed = false;
  // Lines from a partial read must never replace the whole file.
  if (ReadWhole(readOutcome)) {
    bool backupSafe = true;
    if (state.options.MakeBackups && readOutcome == ReadStatus::Ok) {
      const std::string backup = state.InstallDir + file.backup;
      report.backupMade = BackupOnce(state.fs, path, backup);
      // The user asked to keep the original: no copy, no rewrite.
      backupSafe = state.fs.Exists(backup);
    }
    if (backupSafe) {
      state.file.OpenForRewrite(path);
      writeLines();
      landed = state.file.CloseFile();
    }
  }
  report.outcome = landed ? FileOutcome::Changed : FileOutcome::NotWritten;
  return landed;
}

void ReportInOrder(PatchState& state, const GameFile& file) {
  state.reports.push_back(FileReport{file, FileOutcome::InOrder});
}

}  // namespace corvaldo
