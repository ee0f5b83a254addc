#include "patches/restore.h"

#include <algorithm>
#include <memory>
#include <string>

#include "gamefiles/errors.h"
#include "gamefiles/scratch_file_system.h"
#include "patches/country_patch.h"
#include "patches/cup_script_patch.h"
#include "patches/rewrite.h"
#include "patches/rules_patch.h"

namespace corvaldo {
namespace {

// Pieces of a restored file handed to the writer, as a rewrite's lines are.
constexpr std::size_t kChunkSize = 256 * 1024;

bool Same(const GameFile& a, const GameFile& b) { return std::string_view(a.path) == b.path; }

// One way a patch run treats a file: its switches, and the cup index the
// country patch is handed.
struct PatchForm {
  PatchSwitches switches;
  std::int32_t cupIndex = 22;
};

std::vector<PatchForm> FormsOf(const GameFile& file, const std::vector<std::int32_t>& cupIndexes) {
  if (!Same(file, kCountryFile)) return {PatchForm{}};
  std::vector<PatchForm> forms;
  for (const std::int32_t index : cupIndexes) {
    PatchForm form;
    form.switches.PatchCupScript = true;
    form.cupIndex = index;
    forms.push_back(form);
  }
  PatchForm defaultCup;
  defaultCup.switches.PatchCountryDefault = true;
  forms.push_back(defaultCup);
  return forms;
}

struct PatchRun {
  FileOutcome outcome = FileOutcome::InOrder;
  std::string content;  // what the patch wrote, when it changed the file
  std::int32_t valuesInPlace = 0;
  std::int32_t cupIndex = 0;
};

// The patch of `file` run over `bytes` (absent: no such file) in memory;
// absent when it ends in one of the three errors, as it then writes nothing.
std::optional<PatchRun> RunInMemory(const GameFile& file, std::optional<std::string_view> bytes,
                                    const PatchForm& form) {
  ScratchFileSystem scratch;
  if (bytes) scratch.Put(file.path, std::string(*bytes));
  PatchState state(form.switches, scratch);
  state.CupIndex = form.cupIndex;
  try {
    if (Same(file, kCupScriptFile)) {
      ApplyCupScriptPatch(state);
    } else if (Same(file, kCountryFile)) {
      ApplyCountryPatch(state);
    } else {
      ApplyRulesPatch(state);
    }
  } catch (const EError&) {
    return std::nullopt;
  }
  PatchRun run;
  run.outcome = state.reports.back().outcome;
  run.valuesInPlace = state.valuesInPlace;
  run.cupIndex = state.CupIndex;
  if (run.outcome == FileOutcome::Changed) run.content = *scratch.Find(file.path);
  return run;
}

// Whether the run changed the file into `content`.
bool Made(const std::optional<PatchRun>& run, std::string_view content) {
  return run && run->outcome == FileOutcome::Changed && run->content == content;
}

// The backup's bytes under the file's name, through the same crash-safe
// replacement every rewrite uses: old content or new, never between.
bool WriteBack(FileSystem& fs, const std::string& path, std::string_view bytes) {
  std::unique_ptr<FileWriter> writer = fs.OpenForReplace(path);
  if (!writer) return false;
  for (std::size_t at = 0; at < bytes.size(); at += kChunkSize) {
    if (!writer->Write(bytes.substr(at, kChunkSize))) return false;
  }
  return writer->Commit();
}

void RemoveBackup(PatchState& state, const GameFile& file, FileReport& report) {
  report.backupRemoved = state.fs.Remove(state.InstallDir + file.backup);
  if (!report.backupRemoved) report.reason = kReasonBackupKept;
}

struct FileAndBackup {
  ReadResult file;
  ReadResult backup;
};

FileAndBackup ReadBoth(PatchState& state, const GameFile& file) {
  return {state.fs.ReadFile(PathOf(state, file)),
          state.fs.ReadFile(state.InstallDir + file.backup)};
}

// What a whole read holds: its bytes, or nothing for a missing file.
std::optional<std::string_view> WholeContent(const ReadResult& read) {
  if (read.status == ReadStatus::Ok) return read.bytes.view();
  return std::nullopt;
}

void RestoreFile(PatchState& state, const GameFile& file, const FileAndBackup& read,
                 const std::vector<std::int32_t>& cupIndexes) {
  FileReport& report = state.AddReport(file);
  // No backup of ours has a name too long to open: the patch never makes one.
  const bool backupThere =
      read.backup.status != ReadStatus::Missing && read.backup.status != ReadStatus::PathTooLong;
  if (!ReadWhole(read.file.status) || (backupThere && read.backup.status != ReadStatus::Ok)) {
    report.outcome = FileOutcome::NotWritten;
    report.reason = kReasonUnreadable;
    return;
  }
  const bool fileThere = read.file.status == ReadStatus::Ok;
  const std::string_view content = read.file.bytes.view();
  if (!backupThere) {
    if (fileThere && IsPatched(file, content, cupIndexes)) {
      report.outcome = FileOutcome::Kept;
      report.reason = kReasonNoBackup;
    }
    return;
  }
  const std::string_view original = read.backup.bytes.view();
  if (fileThere && content == original) {
    RemoveBackup(state, file, report);
    return;
  }
  if (!fileThere || !IsPatchOf(file, content, original, cupIndexes)) {
    report.outcome = FileOutcome::Kept;
    report.reason = kReasonChanged;
    return;
  }
  if (!WriteBack(state.fs, PathOf(state, file), original)) {
    report.outcome = FileOutcome::NotWritten;
    report.reason = kReasonNotWritten;
    return;
  }
  report.outcome = FileOutcome::Restored;
  RemoveBackup(state, file, report);
}

}  // namespace

std::vector<std::int32_t> PatchedCupIndexes(
    const std::vector<std::optional<std::string_view>>& scripts) {
  std::vector<std::int32_t> indexes;
  for (const std::optional<std::string_view>& script : scripts) {
    const std::optional<PatchRun> run = RunInMemory(kCupScriptFile, script, PatchForm{});
    if (run && std::find(indexes.begin(), indexes.end(), run->cupIndex) == indexes.end()) {
      indexes.push_back(run->cupIndex);
    }
  }
  return indexes;
}

bool IsPatchOf(const GameFile& file, std::string_view content, std::string_view original,
               const std::vector<std::int32_t>& cupIndexes) {
  const std::vector<PatchForm> forms = FormsOf(file, cupIndexes);
  std::vector<std::optional<PatchRun>> once;
  for (const PatchForm& form : forms) {
    once.push_back(RunInMemory(file, original, form));
    if (Made(once.back(), content)) return true;
  }
  // A player may have run one country form and later the other: the default
  // form (the last) after a cup-index one, or a cup-index one after it.
  const std::size_t last = forms.size() - 1;
  for (std::size_t i = 0; i < last; ++i) {
    for (const auto& [first, second] : {std::pair{i, last}, std::pair{last, i}}) {
      if (!once[first] || once[first]->outcome != FileOutcome::Changed) continue;
      if (Made(RunInMemory(file, once[first]->content, forms[second]), content)) return true;
    }
  }
  return false;
}

bool IsPatched(const GameFile& file, std::string_view content,
               const std::vector<std::int32_t>& cupIndexes) {
  for (const PatchForm& form : FormsOf(file, cupIndexes)) {
    const std::optional<PatchRun> run = RunInMemory(file, content, form);
    if (run && run->outcome == FileOutcome::InOrder && run->valuesInPlace > 0) return true;
  }
  return false;
}

void RestoreGameFiles(PatchState& state) {
  // The cup indexes come from the cup script as it is before anything is
  // put back, and from what the patch makes of its backup.
  const FileAndBackup script = ReadBoth(state, kCupScriptFile);
  std::vector<std::optional<std::string_view>> scripts;
  if (ReadWhole(script.file.status)) scripts.push_back(WholeContent(script.file));
  if (script.backup.status == ReadStatus::Ok) scripts.push_back(script.backup.bytes.view());
  const std::vector<std::int32_t> cupIndexes = PatchedCupIndexes(scripts);

  RestoreFile(state, kCupScriptFile, script, cupIndexes);
  RestoreFile(state, kCountryFile, ReadBoth(state, kCountryFile), cupIndexes);
  RestoreFile(state, kRulesFile, ReadBoth(state, kRulesFile), cupIndexes);
}

}  // namespace corvaldo
