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

int ApplyPatches(const RunOptions& options, FileSystem& fs, Registry& registry, UserInterface& ui,
                 std::vector<std::string>* notWritten) {
  std::optional<std::string> installDir = LocateGame(registry, ui, options.Silent);
  if (!installDir) return kExitOk;

  PatchState state(options, fs);
  state.InstallDir = std::move(*installDir);
  if (options.PatchCupScript) ApplyCupScriptPatch(state);
  // Portugal's entry must never name a cup the script does not hold.
  const bool countryAllowed = !options.PatchCupScript || state.cupInScript;
  if ((options.PatchCupScript || options.PatchCountryDefault) && countryAllowed) {
    ApplyCountryPatch(state);
  }
  if (options.PatchRules) ApplyRulesPatch(state);
  state.lines.Clear();

  if (state.notWritten.empty()) return kExitOk;
  if (notWritten) {
    *notWritten = std::move(state.notWritten);
    return kExitNotWritten;
  }
  if (!options.Silent) ui.ShowMessageDialog(NotWrittenMessage(state.notWritten), 0);
  return kExitNotWritten;
}

}  // namespace corvaldo
