#include "patches/rewrite.h"

namespace corvaldo {

bool RewriteGameFile(PatchState& state, const GameFile& file, ReadStatus readOutcome,
                     const std::function<void()>& writeLines) {
  const std::string path = PathOf(state, file);
  bool landed = false;
  // Lines from a partial read must never replace the whole file.
  if (ReadWhole(readOutcome)) {
    bool backupSafe = true;
    if (state.options.MakeBackups && readOutcome == ReadStatus::Ok) {
      const std::string backup = state.InstallDir + file.backup;
      BackupOnce(state.fs, path, backup);
      // The user asked to keep the original: no copy, no rewrite.
      backupSafe = state.fs.Exists(backup);
    }
    if (backupSafe) {
      state.file.OpenForRewrite(path);
      writeLines();
      landed = state.file.CloseFile();
    }
  }
  if (!landed) state.notWritten.emplace_back(file.path + 1);
  return landed;
}

}  // namespace corvaldo
