#include "app/dry_run.h"

#include <string>
#include <vector>

#include "app/apply_patches.h"
#include "app/restore_originals.h"
#include "dryrun/dry_run_file_system.h"
#include "dryrun/line_diff.h"
#include "gamefiles/errors.h"
#include "text/cp1252.h"
#include "text/terminal_quote.h"
#include "text/terminal_text.h"

namespace corvaldo {
namespace {

// Lines of unchanged text shown around each change, as diff -u does.
constexpr int kContext = 3;

// The dry run's report on its stream; remembers whether anything failed.
class Report {
 public:
  Report(std::FILE* out, const GameLocation& game) : out_(out), game_(game) {}

  void Write(std::string_view utf8) {
    if (!utf8.empty() && std::fwrite(utf8.data(), 1, utf8.size(), out_) != utf8.size()) {
      failed_ = true;
    }
  }
  // One of the program's texts (CP1252), as a line.
  void Say(const std::string& text) { Write(TerminalText(text + "\n")); }
  std::string Path(const std::string& windowsPath) const {
    return game_.hostPath ? game_.hostPath(windowsPath) : Cp1252ToUtf8(windowsPath);
  }
  bool Finish() { return std::fflush(out_) == 0 && !failed_ && !std::ferror(out_); }

 private:
  std::FILE* out_;
  const GameLocation& game_;
  bool failed_ = false;
};

// The old and new content of a rewritten file as a diff, with notes first on
// what the line-by-line view does not show. A restore writes the backup's
// bytes as they are, rather than lines with CR LF.
void ReportRewrite(Report& report, FileSystem& real, const std::string& path,
                   const std::string& rewritten, bool restore) {
  const ReadResult old = real.ReadFile(path);
  const std::string_view before = old.bytes.view();
  const RewriteLineEnds ends = LineEndsOf(restore ? std::string_view(rewritten) : before);
  if (old.status == ReadStatus::Missing) report.Say("Ficheiro novo. / New file.");
  if (restore) {
    if (ends.bareLineEnds || ends.strayCrs || ends.droppedTail > 0) {
      report.Say(
          "Os fins de linha e o que segue um Ctrl-Z voltam a ser os da c\xF3pia. / "
          "Line ends and any bytes after a Ctrl-Z go back to the backup's.");
    }
  } else if (ends.bareLineEnds) {
    report.Say("Os fins de linha passam a CR LF. / Line ends become CR LF.");
  }
  if (ends.strayCrs && !restore) {
    report.Say(
        "Os CR que n\xE3o precedem um LF s\xE3o retirados. / "
        "CRs not followed by an LF are removed.");
  }
  if (ends.droppedTail > 0 && !restore) {
    const std::string count = std::to_string(ends.droppedTail);
    report.Say("Os " + count + " bytes a partir do Ctrl-Z s\xE3o retirados. / The " + count +
               " bytes from the Ctrl-Z on are removed.");
  }
  if (old.status != ReadStatus::Missing && before == rewritten) {
    report.Say(
        "O conte\xFA"
        "do fica igual. / The content stays the same.");
  }
  // Quoted as GNU diff quotes names, so that GNU patch reads them back.
  const std::string shown = DiffQuoted(report.Path(path));
  report.Write("--- " + shown + "\n+++ " + shown + "\n");
  WriteLineDiff(before, rewritten, kContext,
                [&](std::string_view hunks) { report.Write(Cp1252ToUtf8(hunks)); });
}

// `leftAlone`: a terminal line each on the files a real run would leave as
// they are.
void ReportChanges(Report& report, FileSystem& real, const DryRunFileSystem& files,
                   const std::vector<std::string>& leftAlone, bool restore) {
  bool changes = false;
  for (const DryRunFileSystem::Change& change : files.Changes()) {
    switch (change.kind) {
      case DryRunFileSystem::Change::Kind::Copy:
        report.Write(TerminalText("C\xF3pia / Backup: ") + ShellQuoted(report.Path(change.path)) +
                     "\n");
        break;
      case DryRunFileSystem::Change::Kind::Rewrite:
        ReportRewrite(report, real, change.path, files.Rewritten(change.path), restore);
        changes = true;
        break;
      case DryRunFileSystem::Change::Kind::Remove:
        report.Write(TerminalText("C\xF3pia apagada / Backup removed: ") +
                     ShellQuoted(report.Path(change.path)) + "\n");
        changes = true;
        break;
    }
  }
  for (const std::string& line : leftAlone) report.Write(line);
  if (!changes) report.Say("Nenhum ficheiro mudaria. / No file would change.");
  report.Say("Nada foi alterado. / Nothing was changed.");
}

}  // namespace

int DryRunPatches(const RunOptions& options, GameLocation& game, UserInterface& ui,
                  std::FILE* out) {
  DryRunFileSystem files(*game.files);
  Report report(out, game);
  std::vector<FileReport> reports;
  int code;
  try {
    code = options.Restore ? RestoreOriginals(options, files, *game.registry, ui, &reports, false)
                           : ApplyPatches(options, files, *game.registry, ui, &reports, false);
  } catch (const EError&) {
    // A real run would have written this much before the error ended it.
    ReportChanges(report, *game.files, files, {}, options.Restore);
    report.Finish();
    throw;
  }
  // Each file a real run would leave as it is, by its path, with the reason.
  std::vector<std::string> leftAlone;
  for (const FileReport& file : reports) {
    const char* label = nullptr;
    std::string reason = file.reason;
    if (options.Restore && !file.reason.empty()) {
      label = "N\xE3o poderia ser reposto / Could not be restored: ";
      reason = " (" + reason + ")";
    } else if (!options.Restore && file.outcome == FileOutcome::NotWritten) {
      label = "N\xE3o poderia ser gravado / Could not be written: ";
      if (!reason.empty()) reason = ": " + reason;
    }
    if (label) {
      leftAlone.push_back(TerminalText(label) + ShellQuoted(report.Path(file.Path())) +
                          TerminalText(reason) + "\n");
    }
  }
  ReportChanges(report, *game.files, files, leftAlone, options.Restore);
  if (!report.Finish()) {
    std::fputs("script-corvaldo: stdout: write error\n", stderr);
    return kExitError;
  }
  return code == kExitNotWritten ? kExitOk : code;
}

}  // namespace corvaldo
