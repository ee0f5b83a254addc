#include "app/dry_run.h"

#include <string>
#include <vector>

#include "app/apply_patches.h"
#include "gamefiles/dry_run_file_system.h"
#include "gamefiles/errors.h"
#include "gamefiles/line_diff.h"
#include "ui/cp1252.h"
#include "ui/terminal_quote.h"
#include "ui/terminal_text.h"

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
// what the line-by-line view does not show.
void ReportRewrite(Report& report, FileSystem& real, const std::string& path,
                   const std::string& rewritten) {
  const ReadResult old = real.ReadFile(path);
  const std::string_view before = old.bytes.view();
  const RewriteLineEnds ends = LineEndsOf(before);
  if (old.status == ReadStatus::Missing) report.Say("Ficheiro novo. / New file.");
  if (ends.bareLineEnds) {
    report.Say("Os fins de linha passam a CR LF. / Line ends become CR LF.");
  }
  if (ends.strayCrs) {
    report.Say(
        "Os CR que n\xE3o precedem um LF s\xE3o retirados. / "
        "CRs not followed by an LF are removed.");
  }
  if (ends.droppedTail > 0) {
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

void ReportChanges(Report& report, FileSystem& real, const DryRunFileSystem& files,
                   const std::vector<FileReport>& notWritten) {
  bool rewrites = false;
  for (const DryRunFileSystem::Change& change : files.Changes()) {
    if (change.kind == DryRunFileSystem::Change::Kind::Copy) {
      report.Write(TerminalText("C\xF3pia / Backup: ") + ShellQuoted(report.Path(change.path)) +
                   "\n");
    } else {
      ReportRewrite(report, real, change.path, files.Rewritten(change.path));
      rewrites = true;
    }
  }
  for (const FileReport& file : notWritten) {
    report.Write(TerminalText("N\xE3o poderia ser gravado / Could not be written: ") +
                 ShellQuoted(report.Path(file.Path())) +
                 (file.reason.empty() ? "" : ": " + file.reason) + "\n");
  }
  if (!rewrites) report.Say("Nenhum ficheiro mudaria. / No file would change.");
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
    code = ApplyPatches(options, files, *game.registry, ui, &reports, false);
  } catch (const EError&) {
    // A real run would have written this much before the error ended it.
    ReportChanges(report, *game.files, files, {});
    report.Finish();
    throw;
  }
  std::vector<FileReport> notWritten;
  for (const FileReport& file : reports) {
    if (file.outcome == FileOutcome::NotWritten) notWritten.push_back(file);
  }
  ReportChanges(report, *game.files, files, notWritten);
  if (!report.Finish()) {
    std::fputs("script-corvaldo: stdout: write error\n", stderr);
    return kExitError;
  }
  return code == kExitNotWritten ? kExitOk : code;
}

}  // namespace corvaldo
