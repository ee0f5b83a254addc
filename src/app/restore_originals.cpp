#include "app/restore_originals.h"

#include <algorithm>
#include <string_view>

#include "app/apply_patches.h"
#include "patches/restore.h"

namespace corvaldo {

std::string NotRestoredMessage(const std::vector<FileReport>& reports) {
  // Portuguese first, then English, as in the status message.
  std::string text = "N\xE3o foi poss\xEDvel repor:\r\nCould not restore:";
  for (const FileReport& report : reports) {
    if (report.reason.empty()) continue;
    // The name alone, without its folder: the dialog's lines are short.
    const std::string_view path = report.file.path;
    text += "\r\n" + std::string(path.substr(path.rfind('\\') + 1)) + " (" + report.reason + ")";
  }
  return text;
}

bool AnyLeftAlone(const std::vector<FileReport>& reports) {
  return std::any_of(reports.begin(), reports.end(),
                     [](const FileReport& report) { return !report.reason.empty(); });
}

int RestoreOriginals(const RunOptions& options, FileSystem& fs, Registry& registry,
                     UserInterface& ui, std::vector<FileReport>* reports, bool tellLeftAlone) {
  if (reports) reports->clear();
  PatchState state(options, fs);
  LockResult hold;
  if (const std::optional<int> code = FindAndHold(state, options.Silent, registry, ui, hold)) {
    return *code;
  }
  RestoreGameFiles(state);
  // The files are as they stay: another run need not wait while the user reads.
  hold.lock.reset();

  const bool allOriginal =
      std::none_of(state.reports.begin(), state.reports.end(), [](const FileReport& report) {
        return report.outcome == FileOutcome::NotWritten || report.outcome == FileOutcome::Kept;
      });
  if (AnyLeftAlone(state.reports) && tellLeftAlone && !options.Silent) {
    ui.ShowMessageDialog(NotRestoredMessage(state.reports), 0);
  }
  if (reports) *reports = std::move(state.reports);
  return allOriginal ? kExitOk : kExitNotWritten;
}

}  // namespace corvaldo
