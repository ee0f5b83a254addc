// Windows: the run ends as it always has, with the files that could not be
// written (or, for a restore, were left alone) named in the dialog.
#include "app/apply_patches.h"
#include "app/restore_originals.h"
#include "app/run_report.h"

namespace corvaldo {

void ShowRunReport(const RunEnd& run, UserInterface& ui) {
  if (run.silent || run.error || run.dryRun) return;
  if (run.restore) {
    if (AnyLeftAlone(run.files)) ui.ShowMessageDialog(NotRestoredMessage(run.files), 0);
    return;
  }
  std::vector<std::string> notWritten;
  for (const FileReport& file : run.files) {
    if (file.outcome == FileOutcome::NotWritten) notWritten.emplace_back(file.file.path + 1);
  }
  if (!notWritten.empty()) ui.ShowMessageDialog(NotWrittenMessage(notWritten), 0);
}

}  // namespace corvaldo
