// Fails every file operation of a run, one at a time, and checks what is left
// on disk: each game file old or fully patched, backups absent, exact copies
// of the original or untouched, no temporary file, and an exit code that
// never reports a lost rewrite as success. Then kills a run before each of its
// operations, and checks that the next run finishes the job and leaves no
// temporary file.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/apply_patches.h"
#include "app/restore_originals.h"
#include "gamefiles/errors.h"
#include "test_support.h"

namespace corvaldo {
namespace {

using namespace corvaldo::fakes;
using Op = MemoryFileSystem::Op;
using Lines = std::vector<std::string>;

struct GameFilePaths {
  std::string file;
  std::string backup;
};
const GameFilePaths kGameFiles[] = {
    {kScript, kScriptBackup}, {kCountry, kCountryBackup}, {kRules, kRulesBackup}};

const char* OpName(Op op) {
  switch (op) {
    case Op::Lock:
      return "Lock";
    case Op::OpenRead:
      return "OpenRead";
    case Op::Read:
      return "Read";
    case Op::Exists:
      return "Exists";
    case Op::Copy:
      return "Copy";
    case Op::OpenReplace:
      return "OpenReplace";
    case Op::Write:
      return "Write";
    case Op::Flush:
      return "Flush";
    case Op::Replace:
      return "Replace";
    case Op::Remove:
      return "Remove";
  }
  return "?";
}

// --- the installations the sweep starts from

std::string Script(const Lines& extra = {}) {
  Lines lines = {"3",
                 "; cups",
                 "%INDEX%CUP0",
                 "EN",
                 "_ID_FACUP_ENGLAND",
                 "%INDEXEND%CUP0",
                 "%INDEX%CUP1",
                 "DE",
                 "_ID_FACUP_GERMANY",
                 "%INDEXEND%CUP1"};
  lines.insert(lines.end(), extra.begin(), extra.end());
  return CrLf(lines);
}

// Two FA_CUP entries; the first needs the cup-index form, the second is in
// the default form already.
std::string Country() {
  return CrLf({"; competitions",
               "%INDEX%COMPETITION",
               "",
               "{ 0, FA_CUP }",
               "a",
               "b",
               "0",
               "c",
               "1,2",
               "%INDEXEND%COMP",
               "x",
               "DB_CUP",
               "{ 1, FA_CUP }",
               "a",
               "b",
               "1",
               "c",
               "105,171,192,213,269,329",
               "%INDEXEND%COMP",
               "%INDEXEND%COMPETITION",
               "; end"});
}

std::string Rules() {
  Lines lines(40, "0");
  lines[30] = "2490379";  // only line 34 needs the change
  return CrLf(lines);
}

struct Installation {
  const char* name;
  std::function<MemoryFileSystem()> make;
};

MemoryFileSystem Fresh() {
  MemoryFileSystem fs;
  fs.AddFile(kScript, Script());
  fs.AddFile(kCountry, Country());
  fs.AddFile(kRules, Rules());
  return fs;
}

MemoryFileSystem Patched() {
  MemoryFileSystem fs = Fresh();
  if (RunPatcher(fs, {"/tp", "/r"}) != kExitOk) ADD_FAILURE() << "could not patch the fixture";
  MemoryFileSystem patched;
  for (const auto& [path, content] : fs.Files()) patched.AddFile(path, content);
  return patched;
}

MemoryFileSystem WithBackups() {
  MemoryFileSystem fs = Fresh();
  fs.AddFile(kScriptBackup, "older script backup\r\n");
  fs.AddFile(kCountryBackup, "older country backup\r\n");
  fs.AddFile(kRulesBackup, "older rules backup\r\n");
  return fs;
}

MemoryFileSystem NoCupScript() {
  MemoryFileSystem fs = Fresh();
  fs.RemoveFile(kScript);  // its folder stays
  return fs;
}

// LF line ends, a Ctrl-Z tail, and a script that already holds the cup twice
// (the last one counts), so a partial read would see a different index.
MemoryFileSystem OddShapes() {
  MemoryFileSystem fs;
  std::string script = "5\n; cups\n";
  for (const char* index : {"3", "4"}) {
    script += std::string("%INDEX%CUP") + index + "\nFA\n_ID_FACUP_PORTUGAL\n0\n%INDEXEND%CUP" +
              index + "\n";
  }
  fs.AddFile(kScript, script + "\x1A");
  std::string country = Country();
  for (std::size_t at = country.find('\r'); at != std::string::npos; at = country.find('\r')) {
    country.erase(at, 1);
  }
  fs.AddFile(kCountry, country + "\x1A junk");
  std::string rules = Rules();
  rules.pop_back();  // the last line has no line end
  fs.AddFile(kRules, rules);
  return fs;
}

const Installation kInstallations[] = {
    {"fresh", Fresh},
    {"already patched", Patched},
    {"backups present", WithBackups},
    {"no cup script", NoCupScript},
    {"odd shapes", OddShapes},
};

const std::vector<std::string> kSwitchSets[] = {{}, {"/td"}, {"/r"}, {"/b"}, {"/tp", "/r", "/b"}};

// --- running and judging

struct Outcome {
  int code = 0;
  std::string error;  // set when an exception ended the run
};

Outcome RunGuarded(MemoryFileSystem& fs, const std::vector<std::string>& switches) {
  Outcome outcome;
  try {
    outcome.code = RunPatcher(fs, switches);
  } catch (const EError& error) {
    outcome.code = kExitError;
    outcome.error = error.KindName() + ": " + error.Message();
  }
  return outcome;
}

std::vector<MemoryFileSystem::Fault> FaultsFor(const MemoryFileSystem& before,
                                               const MemoryFileSystem& clean) {
  std::vector<MemoryFileSystem::Fault> faults;
  std::map<Op, int> counts;
  for (const auto& [op, path] : clean.Log()) {
    const int occurrence = ++counts[op];
    switch (op) {
      case Op::Read: {
        // Each game file is read before it is rewritten, so its old size applies.
        const std::size_t size = before.Content(path).value_or("").size();
        std::set<std::size_t> offsets = {0, size / 2, size};
        if (size > 0) offsets.insert(size - 1);
        for (std::size_t at : offsets) faults.push_back({op, occurrence, at});
        break;
      }
      case Op::Write:
        break;  // per writer, below
      case Op::OpenReplace: {
        faults.push_back({op, occurrence, 0});
        const std::size_t total = clean.WrittenBytes().at(occurrence - 1);
        std::set<std::size_t> offsets = {0, total / 2};
        if (total > 0) offsets.insert(total - 1);
        for (std::size_t at : offsets) faults.push_back({Op::Write, occurrence, at});
        break;
      }
      default:
        faults.push_back({op, occurrence, 0});
    }
  }
  return faults;
}

bool Rewrote(const MemoryFileSystem& fs, const std::string& path) {
  for (const auto& [op, logged] : fs.Log()) {
    if (op == Op::OpenReplace && logged == path) return true;
  }
  return false;
}

// Game files neither old nor new, and backups that are not what they may be.
std::vector<std::string> DamagedFiles(const MemoryFileSystem& before, const MemoryFileSystem& clean,
                                      const MemoryFileSystem& after, bool* lostRewrite = nullptr) {
  std::vector<std::string> breaches;
  for (const GameFilePaths& game : kGameFiles) {
    const auto old = before.Content(game.file);
    const auto patched = clean.Content(game.file);
    const auto now = after.Content(game.file);
    if (now != old && now != patched) breaches.push_back(game.file + " is neither old nor new");
    if (lostRewrite && Rewrote(clean, game.file) && now != patched) *lostRewrite = true;

    const auto oldBackup = before.Content(game.backup);
    const auto backup = after.Content(game.backup);
    if (oldBackup) {
      if (backup != oldBackup) breaches.push_back(game.backup + " was replaced");
    } else if (backup && backup != old) {
      breaches.push_back(game.backup + " is not a copy of the original");
    }
  }
  return breaches;
}

// Every way in which the faulty run broke the promise; empty when it kept it.
std::vector<std::string> Breaches(const MemoryFileSystem& before, const MemoryFileSystem& clean,
                                  const MemoryFileSystem& after, const Outcome& outcome) {
  bool lostRewrite = false;
  std::vector<std::string> breaches = DamagedFiles(before, clean, after, &lostRewrite);
  for (const auto& [path, content] : after.Files()) {
    if (MemoryFileSystem::IsTemporaryName(path)) breaches.push_back(path + " was left behind");
  }
  // Another run holding the installation: nothing may have been touched.
  if (outcome.code == kExitBusy && after.Files() != before.Files()) {
    breaches.push_back("the run found the installation held, yet changed files");
  }
  if (outcome.code != kExitOk && outcome.code != kExitError && outcome.code != kExitNotWritten &&
      outcome.code != kExitBusy) {
    breaches.push_back("exit code " + std::to_string(outcome.code));
  }
  if (lostRewrite && outcome.code != kExitNotWritten && outcome.code != kExitError &&
      outcome.code != kExitBusy) {
    breaches.push_back("a rewrite was lost but the run ended with " + std::to_string(outcome.code));
  }
  return breaches;
}

std::string Describe(const MemoryFileSystem::Fault& fault) {
  std::ostringstream text;
  text << OpName(fault.op) << " #" << fault.occurrence;
  if (fault.op == Op::Read || fault.op == Op::Write) text << " at byte " << fault.atByte;
  return text.str();
}

std::string Join(const std::vector<std::string>& switches) {
  std::string text;
  for (const std::string& s : switches) text += (text.empty() ? "" : " ") + s;
  return text.empty() ? "(default)" : text;
}

TEST(FaultSweep, EveryFailedOperationLeavesOldOrNewFilesAndAnHonestExitCode) {
  int scenarios = 0;
  std::map<int, int> exitCodes;
  for (const Installation& installation : kInstallations) {
    for (const std::vector<std::string>& switches : kSwitchSets) {
      SCOPED_TRACE(std::string(installation.name) + ", " + Join(switches));
      const MemoryFileSystem before = installation.make();
      MemoryFileSystem clean = before;
      const Outcome cleanOutcome = RunGuarded(clean, switches);
      ASSERT_EQ(cleanOutcome.code, kExitOk) << cleanOutcome.error;

      for (const MemoryFileSystem::Fault& fault : FaultsFor(before, clean)) {
        MemoryFileSystem fs = before;
        fs.InjectFault(fault);
        const Outcome outcome = RunGuarded(fs, switches);
        ++scenarios;
        ++exitCodes[outcome.code];
        // The run up to the fault repeats the clean one, so the fault must fire.
        int reached = 0;
        const Op counted = fault.op == Op::Write ? Op::OpenReplace : fault.op;
        for (const auto& [op, path] : fs.Log()) reached += op == counted;
        EXPECT_GE(reached, fault.occurrence) << Describe(fault) << " never happened";
        for (const std::string& breach : Breaches(before, clean, fs, outcome)) {
          ADD_FAILURE() << Describe(fault) << ": " << breach;
        }
      }
    }
  }
  std::cout << "[ sweep    ] " << scenarios << " fault scenarios; exit codes:";
  for (const auto& [code, count] : exitCodes) std::cout << " " << code << " x" << count;
  std::cout << "\n";
  RecordProperty("scenarios", scenarios);
  EXPECT_GT(scenarios, 300);
}

TEST(KillSweep, AfterAKillAtAnyPointTheNextRunFinishesTheJobAndLeavesNoTemporary) {
  int kills = 0;
  int leftTemporaries = 0;
  for (const Installation& installation : kInstallations) {
    for (const std::vector<std::string>& switches : kSwitchSets) {
      SCOPED_TRACE(std::string(installation.name) + ", " + Join(switches));
      const MemoryFileSystem before = installation.make();
      MemoryFileSystem clean = before;
      ASSERT_EQ(RunGuarded(clean, switches).code, kExitOk);

      for (std::size_t operation = 1; operation <= clean.Log().size(); ++operation) {
        const std::string at = "killed before operation " + std::to_string(operation);
        MemoryFileSystem killed = before;
        killed.KillBefore(operation);
        RunGuarded(killed, switches);
        std::optional<MemoryFileSystem> next = killed.AfterKill();
        ASSERT_TRUE(next.has_value()) << at;
        ++kills;
        for (const std::string& breach : DamagedFiles(before, clean, *next)) {
          ADD_FAILURE() << at << ": " << breach;
        }
        for (const auto& [path, content] : next->Files()) {
          leftTemporaries += MemoryFileSystem::IsTemporaryName(path);
        }
        EXPECT_EQ(RunGuarded(*next, switches).code, kExitOk) << at;
        // The whole job done, as by an undisturbed run, and nothing else left.
        EXPECT_EQ(next->Files(), clean.Files()) << at;
      }
    }
  }
  std::cout << "[ kills    ] " << kills << " kills, " << leftTemporaries
            << " temporary files left by them, none after the next run\n";
  EXPECT_GT(leftTemporaries, 0) << "no kill hit a rewrite, so the cleanup went untested";
}

// The sweep's own yardstick: a clean run of each fixture does change what the
// fault scenarios are judged against, so they are not judged against nothing.
TEST(FaultSweep, CleanRunsRewriteTheFilesTheSweepWatches) {
  const struct {
    const char* installation;
    std::vector<std::string> switches;
    int rewrites;
  } cases[] = {
      {"fresh", {"/tp", "/r", "/b"}, 3}, {"already patched", {}, 0},
      {"already patched", {"/td"}, 1},   {"no cup script", {}, 2},
      {"odd shapes", {"/r"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.installation);
    for (const Installation& installation : kInstallations) {
      if (std::string(installation.name) != c.installation) continue;
      MemoryFileSystem fs = installation.make();
      EXPECT_EQ(RunGuarded(fs, c.switches).code, kExitOk);
      EXPECT_EQ(static_cast<int>(fs.WrittenBytes().size()), c.rewrites);
    }
  }
}

// --- restores

// Installations a restore starts from: patched with backups in each form, with
// one file of each kind a restore meets, and patched without backups.
MemoryFileSystem PatchedFrom(const MemoryFileSystem& original,
                             const std::vector<std::string>& switches) {
  MemoryFileSystem fs = original;
  if (RunPatcher(fs, switches) != kExitOk) ADD_FAILURE() << "could not patch the fixture";
  MemoryFileSystem patched;
  for (const auto& [path, content] : fs.Files()) patched.AddFile(path, content);
  return patched;
}

MemoryFileSystem Mixed() {
  MemoryFileSystem fs = PatchedFrom(Fresh(), {"/tp", "/r", "/b"});
  fs.AddFile(kScript, *fs.Content(kScriptBackup));         // original again: backup removed
  fs.AddFile(kRules, *fs.Content(kRules) + "edited\r\n");  // changed since: both stay
  return fs;
}

const Installation kRestoreInstallations[] = {
    {"patched with backups",
     [] {
       return PatchedFrom(Fresh(), {"/tp", "/r", "/b"});
     }},
    {"default form with backups",
     [] {
       return PatchedFrom(Fresh(), {"/td", "/r", "/b"});
     }},
    {"odd shapes patched with backups",
     [] {
       return PatchedFrom(OddShapes(), {"/tp", "/r", "/b"});
     }},
    {"mixed", Mixed},
    {"patched without backups",
     [] {
       return PatchedFrom(Fresh(), {"/tp", "/r"});
     }},
};

struct RestoreOutcome {
  int code = 0;
  std::vector<FileReport> reports;
};

RestoreOutcome RunRestore(MemoryFileSystem& fs) {
  RestoreOutcome outcome;
  FakeUi ui;
  FakeRegistry registry = FakeRegistry::String(std::string(kDir) + "\\");
  outcome.code =
      RestoreOriginals(ParseCommandLine({"/u", "/s"}), fs, registry, ui, &outcome.reports);
  return outcome;
}

// How a restore, cut short anywhere, may leave things: each game file as it
// was or as the whole restore leaves it, and each backup as it was until its
// file is back.
std::vector<std::string> RestoreDamage(const MemoryFileSystem& before,
                                       const MemoryFileSystem& clean, const MemoryFileSystem& after,
                                       bool killed = false) {
  std::vector<std::string> breaches;
  for (const GameFilePaths& game : kGameFiles) {
    const auto now = after.Content(game.file);
    if (now != before.Content(game.file) && now != clean.Content(game.file)) {
      breaches.push_back(game.file + " is neither as it was nor restored");
    }
    const auto backup = after.Content(game.backup);
    if (backup && backup != before.Content(game.backup)) {
      breaches.push_back(game.backup + " was changed");
    }
    if (!backup && before.Content(game.backup) && now != before.Content(game.backup)) {
      breaches.push_back(game.backup + " is gone before its file is back");
    }
  }
  // A killed run leaves its temporary files for the next one to clear.
  for (const auto& [path, content] : after.Files()) {
    if (MemoryFileSystem::IsTemporaryName(path) && !killed) {
      breaches.push_back(path + " was left behind");
    }
  }
  return breaches;
}

TEST(FaultSweep, RestoresKeepEveryFileOldOrNewAndTheBackupUntilItsFileIsBack) {
  int scenarios = 0;
  std::map<int, int> exitCodes;
  for (const Installation& installation : kRestoreInstallations) {
    SCOPED_TRACE(installation.name);
    const MemoryFileSystem before = installation.make();
    MemoryFileSystem clean = before;
    const int cleanCode = RunRestore(clean).code;
    for (const MemoryFileSystem::Fault& fault : FaultsFor(before, clean)) {
      MemoryFileSystem fs = before;
      fs.InjectFault(fault);
      const RestoreOutcome outcome = RunRestore(fs);
      ++scenarios;
      ++exitCodes[outcome.code];
      if (outcome.code == kExitBusy) {
        // Another run held the installation: nothing may have been touched.
        EXPECT_EQ(fs.Files(), before.Files()) << Describe(fault);
        EXPECT_TRUE(outcome.reports.empty()) << Describe(fault);
        continue;
      }
      for (const std::string& breach : RestoreDamage(before, clean, fs)) {
        ADD_FAILURE() << Describe(fault) << ": " << breach;
      }
      // A file not brought back is never reported as original, and a backup
      // left where the clean run removed it is named.
      for (std::size_t i = 0; i < outcome.reports.size(); ++i) {
        const GameFilePaths& game = kGameFiles[i];
        if (fs.Content(game.file) != clean.Content(game.file)) {
          EXPECT_EQ(outcome.code, kExitNotWritten) << Describe(fault) << ": " << game.file;
        }
        if (fs.Content(game.backup) && !clean.Content(game.backup)) {
          EXPECT_FALSE(outcome.reports[i].reason.empty()) << Describe(fault) << ": " << game.backup;
        }
      }
      EXPECT_EQ(outcome.reports.size(), 3u) << Describe(fault);
      if (cleanCode == kExitNotWritten) {
        EXPECT_EQ(outcome.code, kExitNotWritten) << Describe(fault);
      }
    }
  }
  std::cout << "[ sweep    ] " << scenarios << " restore fault scenarios; exit codes:";
  for (const auto& [code, count] : exitCodes) std::cout << " " << code << " x" << count;
  std::cout << "\n";
  EXPECT_GT(scenarios, 100);
}

TEST(KillSweep, AfterAKillDuringARestoreTheNextOneFinishesIt) {
  int kills = 0;
  for (const Installation& installation : kRestoreInstallations) {
    SCOPED_TRACE(installation.name);
    const MemoryFileSystem before = installation.make();
    MemoryFileSystem clean = before;
    const int cleanCode = RunRestore(clean).code;
    for (std::size_t operation = 1; operation <= clean.Log().size(); ++operation) {
      const std::string at = "killed before operation " + std::to_string(operation);
      MemoryFileSystem killed = before;
      killed.KillBefore(operation);
      RunRestore(killed);
      std::optional<MemoryFileSystem> next = killed.AfterKill();
      ASSERT_TRUE(next.has_value()) << at;
      ++kills;
      for (const std::string& breach : RestoreDamage(before, clean, *next, true)) {
        ADD_FAILURE() << at << ": " << breach;
      }
      EXPECT_EQ(RunRestore(*next).code, cleanCode) << at;
      EXPECT_EQ(next->Files(), clean.Files()) << at;
    }
  }
  std::cout << "[ kills    ] " << kills << " kills during restores\n";
  EXPECT_GT(kills, 30);
}

// The restore sweep's yardstick: the clean restores do bring files back.
TEST(FaultSweep, CleanRestoresBringTheOriginalsBack) {
  const struct {
    const char* installation;
    int code;
    int rewrites;
  } cases[] = {
      {"patched with backups", kExitOk, 3},
      {"default form with backups", kExitOk, 2},
      // Its cup script held the cup from the start: patched, with no backup.
      {"odd shapes patched with backups", kExitNotWritten, 2},
      {"mixed", kExitNotWritten, 1},
      {"patched without backups", kExitNotWritten, 0},
  };
  for (const auto& c : cases) {
    for (const Installation& installation : kRestoreInstallations) {
      if (std::string(installation.name) != c.installation) continue;
      SCOPED_TRACE(c.installation);
      MemoryFileSystem fs = installation.make();
      EXPECT_EQ(RunRestore(fs).code, c.code);
      EXPECT_EQ(static_cast<int>(fs.WrittenBytes().size()), c.rewrites);
    }
  }
  MemoryFileSystem odd = OddShapes();
  MemoryFileSystem restored = PatchedFrom(odd, {"/tp", "/r", "/b"});
  RunRestore(restored);
  EXPECT_EQ(restored.Files(), odd.Files());
}

}  // namespace
}  // namespace corvaldo
