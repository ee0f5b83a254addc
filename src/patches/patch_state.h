// What the three patches share while the patch procedure runs. The patches own
// it; the procedure only creates it and hands it to them in turn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gamefiles/file_system.h"
#include "gamefiles/line_file.h"
#include "gamefiles/line_list.h"

namespace corvaldo {

// One game file and its one-time backup, relative to InstallDir (each starts
// with a backslash).
struct GameFile {
  const char* path;
  const char* backup;
};

inline constexpr GameFile kCupScriptFile{"\\script\\cupAlloc.txt",
                                         "\\script\\cupAlloc.backup-original.txt"};
inline constexpr GameFile kCountryFile{"\\database\\Country38.sav",
                                       "\\database\\Country38.backup-original.sav"};
inline constexpr GameFile kRulesFile{"\\database\\Rules.sav",
                                     "\\database\\Rules.backup-original.sav"};

// What became of a game file the run was asked about.
enum class FileOutcome {
  InOrder,     // read whole; it needed no change (a restore: it is the original)
  Changed,     // the new content landed
  NotWritten,  // it needed a change, or could not be checked, and was left as it was
  Skipped,     // not looked at: the cup script lacks the cup its entry would name
  // A restore's:
  Restored,  // the backup's bytes are back under the file's name
  Kept,      // not original, and left as it was: changed since the patch, or no backup
};

struct FileReport {
  explicit FileReport(GameFile gameFile, FileOutcome fileOutcome = FileOutcome::InOrder)
      : file(gameFile), outcome(fileOutcome) {}

  GameFile file;
  FileOutcome outcome = FileOutcome::InOrder;
  // Whether this run made the file's backup.
  bool backupMade = false;
  // Whether this run (a restore) removed the file's backup.
  bool backupRemoved = false;
  // For NotWritten: what stopped it, in the system's words where it gave any.
  // A restore's say, for NotWritten and Kept, why the file is not original,
  // and, for a file that is, that its backup could not be removed.
  std::string reason;
  // The installation the file is in (InstallDir), for its whole Windows path.
  std::string installDir;

  std::string Path() const { return installDir + file.path; }
  std::string BackupPath() const { return installDir + file.backup; }
};

// The switches the patches read: the country patch's form and the backups.
struct PatchSwitches {
  bool PatchCupScript = false;       // "/tp"
  bool PatchCountryDefault = false;  // "/td"
  bool MakeBackups = false;          // "/b"
};

struct PatchState {
  PatchState(const PatchSwitches& patchSwitches, FileSystem& fileSystem)
      : options(patchSwitches), fs(fileSystem), file(fileSystem) {}

  const PatchSwitches options;
  FileSystem& fs;
  std::string InstallDir;
  LineList lines;
  LineFile file;
  std::int32_t CupIndex = 22;
  // Whether the cup script holds the Portuguese cup after its stage.
  bool cupInScript = false;
  // The places (the cup block, a cup entry, a rule line) where the stages
  // found their values already there. A file a stage found in order with
  // none of them holds nothing the patch works on, rather than its marks.
  std::int32_t valuesInPlace = 0;
  // Each file the stages were asked about, in the order they ran.
  std::vector<FileReport> reports;

  // A new report on `file`, in this installation.
  FileReport& AddReport(const GameFile& file, FileOutcome outcome = FileOutcome::InOrder) {
    FileReport& report = reports.emplace_back(file, outcome);
    report.installDir = InstallDir;
    return report;
  }

  // The files (relative to InstallDir, without the leading backslash) that
  // were not written.
  std::vector<std::string> NotWritten() const {
    std::vector<std::string> files;
    for (const FileReport& report : reports) {
      if (report.outcome == FileOutcome::NotWritten) files.emplace_back(report.file.path + 1);
    }
    return files;
  }
};

}  // namespace corvaldo
