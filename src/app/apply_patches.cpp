#include "app/apply_patches.h"

#include "gamefiles/install_dir.h"
#include "patches/country_patch.h"
#include "patches/cup_script_patch.h"
#include "patches/rules_patch.h"

namespace corvaldo {

std::string NotWrittenMessage(const std::vector<std::string>& files) {
  // Portuguese first, then English, as in the status message.
  std::string text = "N\xE3o foi poss\xEDvel gravar:\r\nCould not write:";
  for (const std::string& file : files) text += "\r\n" + file;
  return text;
}

std::optional<std::string> FindInstallation(Registry& registry, UserInterface& ui, bool silent) {
  std::optional<std::string> installDir = LocateGame(registry);
  if (!installDir && !silent) ui.ShowMessageDialog(kNotInstalledMessage, 0);
  return installDir;
}

LockResult HoldInstallation(FileSystem& fs, const std::string& installDir, bool silent,
                            UserInterface& ui) {
  // Runs at once end as the same runs one after another: each reads, judges
  // and writes the files with no other run of ours in between.
  LockResult hold = fs.LockInstallation(installDir, kInstallationWait);
  if (hold.status == LockStatus::Busy && !silent) ui.ShowMessageDialog(kBusyMessage, 0);
  return hold;
}

std::optional<int> FindAndHold(PatchState& state, bool silent, Registry& registry,
                               UserInterface& ui, LockResult& hold) {
  std::optional<std::string> installDir = FindInstallation(registry, ui, silent);
  if (!installDir) return kExitOk;
  state.InstallDir = std::move(*installDir);
  hold = HoldInstallation(state.fs, state.InstallDir, silent, ui);
  if (hold.status == LockStatus::Busy) return kExitBusy;
  return std::nullopt;
}

int ApplyPatches(const RunOptions& options, FileSystem& fs, Registry& registry, UserInterface& ui,
                 std::vector<FileReport>* reports, bool tellNotWritten) {
  if (reports) reports->clear();
  PatchState state(options, fs);
  LockResult hold;
  if (const std::optional<int> code = FindAndHold(state, options.Silent, registry, ui, hold)) {
    return *code;
  }
  try {
    if (options.PatchCupScript) ApplyCupScriptPatch(state);
    // Portugal's entry must never name a cup the script does not hold.
    const bool countryAllowed = !options.PatchCupScript || state.cupInScript;
    if ((options.PatchCupScript || options.PatchCountryDefault) && countryAllowed) {
      ApplyCountryPatch(state);
    } else if (options.PatchCupScript) {
      state.AddReport(kCountryFile, FileOutcome::Skipped);
    }
    if (options.PatchRules) ApplyRulesPatch(state);
  } catch (...) {
    // What the stages before the error did stays done, for the caller to tell.
    if (reports) *reports = std::move(state.reports);
    throw;
  }
  state.lines.Clear();
  // The files are as they stay: another run need not wait while the user reads.
  hold.lock.reset();

  const std::vector<std::string> notWritten = state.NotWritten();
  if (reports) *reports = std::move(state.reports);
  if (notWritten.empty()) return kExitOk;
  if (tellNotWritten && !options.Silent) ui.ShowMessageDialog(NotWrittenMessage(notWritten), 0);
  return kExitNotWritten;
}

}  // namespace corvaldo
