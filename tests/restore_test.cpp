#include "patches/restore.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "app/restore_originals.h"
#include "test_support.h"

namespace corvaldo {
namespace {

using namespace corvaldo::fakes;
using Op = MemoryFileSystem::Op;
using O = FileOutcome;
using V = std::vector<std::string>;

const std::string kOriginalScript =
    CrLf({"3", "; cups", "%INDEX%CUP0", "EN", "_ID_FACUP_ENGLAND", "%INDEXEND%CUP0"});
const std::string kOriginalCountry = CrLf({"%INDEX%COMPETITION", "", "{ 0, FA_CUP }", "a", "b", "0",
                                           "c", "1,2", "%INDEXEND%COMP", "%INDEXEND%COMPETITION"});
const std::string kOriginalRules = CrLf(V(40, "0"));

struct Paths {
  std::string file;
  std::string backup;
  GameFile game;
  std::string name;  // as the dialog names it
};
const Paths kFiles[] = {{kScript, kScriptBackup, kCupScriptFile, "cupAlloc.txt"},
                        {kCountry, kCountryBackup, kCountryFile, "Country38.sav"},
                        {kRules, kRulesBackup, kRulesFile, "Rules.sav"}};

MemoryFileSystem Original() {
  MemoryFileSystem fs;
  fs.AddFile(kScript, kOriginalScript);
  fs.AddFile(kCountry, kOriginalCountry);
  fs.AddFile(kRules, kOriginalRules);
  return fs;
}

// The installation after a patch run with backups: every file patched, each
// backup the original.
MemoryFileSystem PatchedWithBackups(const V& switches = {"/tp", "/r", "/b"}) {
  MemoryFileSystem fs = Original();
  if (RunPatcher(fs, switches) != kExitOk) ADD_FAILURE() << "the fixture did not patch";
  // Its files only: no operations counted yet, for faults to be aimed.
  MemoryFileSystem patched;
  for (const auto& [path, content] : fs.Files()) patched.AddFile(path, content);
  return patched;
}

struct Restored {
  int code = -1;
  std::vector<FileReport> reports;
  FakeUi ui;
};

Restored Restore(FileSystem& fs, const V& switches = {"/u"}) {
  Restored run;
  FakeRegistry registry = FakeRegistry::String(std::string(kDir) + "\\");
  run.code = RestoreOriginals(ParseCommandLine(switches), fs, registry, run.ui, &run.reports);
  return run;
}

// Each file in each state it can be found in, the other two restorable: what
// becomes of its bytes and its backup, and the run's exit code.
TEST(Restore, EachFileInEachStateEndsAsItShould) {
  enum class Bytes { Original, AsFound };
  const struct {
    const char* state;
    std::function<void(MemoryFileSystem&, const Paths&)> prepare;  // from patched with backups
    O outcome;
    Bytes bytes;
    bool backupStays;
    const char* reason;
  } cases[] = {
      {"patched, with backup", [](MemoryFileSystem&, const Paths&) {}, O::Restored, Bytes::Original,
       false, ""},
      {"original, backup equal to it",
       [](MemoryFileSystem& fs, const Paths& p) { fs.AddFile(p.file, *fs.Content(p.backup)); },
       O::InOrder, Bytes::Original, false, ""},
      {"original, no backup",
       [](MemoryFileSystem& fs, const Paths& p) {
         fs.AddFile(p.file, *fs.Content(p.backup));
         fs.RemoveFile(p.backup);
       },
       O::InOrder, Bytes::Original, false, ""},
      {"changed since the patch",
       [](MemoryFileSystem& fs, const Paths& p) {
         fs.AddFile(p.file, *fs.Content(p.file) + "; another mod\r\n");
       },
       O::Kept, Bytes::AsFound, true, kReasonChanged},
      {"patched, no backup", [](MemoryFileSystem& fs, const Paths& p) { fs.RemoveFile(p.backup); },
       O::Kept, Bytes::AsFound, false, kReasonNoBackup},
      {"backup only", [](MemoryFileSystem& fs, const Paths& p) { fs.RemoveFile(p.file); }, O::Kept,
       Bytes::AsFound, true, kReasonChanged},
      {"neither file nor backup",
       [](MemoryFileSystem& fs, const Paths& p) {
         fs.RemoveFile(p.file);
         fs.RemoveFile(p.backup);
       },
       O::InOrder, Bytes::AsFound, false, ""},
      {"original with LF line ends and a Ctrl-Z tail, patched",
       [](MemoryFileSystem& fs, const Paths& p) {
         std::string lf = *fs.Content(p.backup);
         std::erase(lf, '\r');
         MemoryFileSystem fresh = Original();
         fresh.AddFile(p.file, lf + "\x1A tail");
         EXPECT_EQ(RunPatcher(fresh, {"/tp", "/r", "/b"}), kExitOk);
         fs.AddFile(p.file, *fresh.Content(p.file));
         fs.AddFile(p.backup, *fresh.Content(p.backup));
       },
       O::Restored, Bytes::Original, false, ""},
  };
  for (const Paths& target : kFiles) {
    for (const auto& c : cases) {
      // Without any cup script the country entry's cup cannot be checked:
      // UndoesEveryFormOfThePatch has that case.
      if (&target == &kFiles[0] && std::string(c.state) == "neither file nor backup") continue;
      SCOPED_TRACE(target.file + ": " + c.state);
      MemoryFileSystem fs = PatchedWithBackups();
      c.prepare(fs, target);
      const std::optional<std::string> found = fs.Content(target.file);
      const std::optional<std::string> backup = fs.Content(target.backup);
      Restored run = Restore(fs);

      const bool original = c.outcome == O::Restored || c.outcome == O::InOrder;
      EXPECT_EQ(run.code, original ? kExitOk : kExitNotWritten);
      if (c.bytes == Bytes::Original) {
        EXPECT_EQ(fs.Content(target.file), backup ? backup : found);
      } else {
        EXPECT_EQ(fs.Content(target.file), found);
      }
      EXPECT_EQ(fs.Content(target.backup), c.backupStays ? backup : std::nullopt);
      ASSERT_EQ(run.reports.size(), 3u);
      for (std::size_t i = 0; i < 3; ++i) {
        const Paths& other = kFiles[i];
        const FileReport& report = run.reports[i];
        EXPECT_STREQ(report.file.path, other.game.path);
        if (other.file != target.file) {
          EXPECT_EQ(report.outcome, O::Restored) << other.file;
          EXPECT_FALSE(fs.Content(other.backup)) << other.file;
          continue;
        }
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(report.reason, c.reason);
        EXPECT_EQ(report.backupRemoved, backup && !c.backupStays);
      }
      // Told, with the reason, unless nothing is left to tell.
      if (*c.reason != '\0') {
        ASSERT_EQ(run.ui.dialogs.size(), 1u);
        EXPECT_EQ(run.ui.dialogs[0].first,
                  std::string("N\xE3o foi poss\xEDvel repor:\r\nCould not restore:\r\n") +
                      target.name + " (" + c.reason + ")");
        EXPECT_EQ(run.ui.dialogs[0].second, 0);
      } else {
        EXPECT_TRUE(run.ui.dialogs.empty());
      }
      for (const auto& [path, content] : fs.Files()) {
        EXPECT_FALSE(MemoryFileSystem::IsTemporaryName(path)) << path;
      }
    }
  }
}

// Whatever switches a patch run used, the restore brings back the files they
// changed, and leaves the ones they did not alone.
TEST(Restore, UndoesEveryFormOfThePatch) {
  const struct {
    const char* what;
    std::vector<V> runs;  // patch runs, in order, before the restore
    std::function<void(MemoryFileSystem&)> then;
    std::vector<O> want;
  } cases[] = {
      {"cup-index form", {{"/b"}}, nullptr, {O::Restored, O::Restored, O::InOrder}},
      {"default-cup form, rules",
       {{"/td", "/r", "/b"}},
       nullptr,
       {O::InOrder, O::Restored, O::Restored}},
      {"default form, then the cup-index form over it",
       {{"/td", "/b"}, {"/b"}},
       nullptr,
       {O::Restored, O::Restored, O::InOrder}},
      // The country entry still names the cup the script's backup patched
      // gives, though the script now holds it elsewhere.
      {"cup script changed since, country entry from the backup's index",
       {{"/b"}},
       [](MemoryFileSystem& fs) {
         std::string script = *fs.Content(kScript);
         const std::size_t at = script.find("%INDEX%CUP3");
         script.replace(at, 11, "%INDEX%CUP7");
         fs.AddFile(kScript, "8" + script.substr(1));
       },
       {O::Kept, O::Restored, O::InOrder}},
      // No backup of the script to ask: the index is the current script's.
      {"script backup gone",
       {{"/b"}},
       [](MemoryFileSystem& fs) { fs.RemoveFile(kScriptBackup); },
       {O::Kept, O::Restored, O::InOrder}},
      // Nothing tells the cup the entry was pointed at: it stays.
      {"cup script and its backup gone",
       {{"/b"}},
       [](MemoryFileSystem& fs) {
         fs.RemoveFile(kScript);
         fs.RemoveFile(kScriptBackup);
       },
       {O::InOrder, O::Kept, O::InOrder}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryFileSystem fs = Original();
    for (const V& switches : c.runs) ASSERT_EQ(RunPatcher(fs, switches), kExitOk);
    if (c.then) c.then(fs);
    const auto before = fs.Files();
    Restored run = Restore(fs);
    ASSERT_EQ(run.reports.size(), c.want.size());
    for (std::size_t i = 0; i < c.want.size(); ++i) {
      EXPECT_EQ(run.reports[i].outcome, c.want[i]) << kFiles[i].file;
      const auto found = before.find(kFiles[i].file);
      const std::optional<std::string> asFound =
          found == before.end() ? std::nullopt : std::optional(found->second);
      EXPECT_EQ(fs.Content(kFiles[i].file),
                c.want[i] == O::Restored ? Original().Content(kFiles[i].file) : asFound)
          << kFiles[i].file;
    }
  }
}

// What counts as patched when there is no backup to compare with: the patch
// finds its values in place, and not merely nothing to work on.
TEST(Restore, PatchedMeansThePatchFindsItsValuesInPlace) {
  const std::vector<std::int32_t> cup3 = {3};
  const V entry = {"%INDEX%COMPETITION",
                   "DB_CUP",
                   "{ 0, FA_CUP }",
                   "a",
                   "b",
                   "3",
                   "c",
                   "1,2",
                   "%INDEXEND%COMP",
                   "%INDEXEND%COMPETITION"};
  V defaultEntry = entry;
  defaultEntry[5] = "1";
  defaultEntry[7] = "105,171,192,213,269,329";
  V otherCup = entry;
  otherCup[5] = "4";
  V rules(40, "0");
  rules[30] = "2490379";
  rules[33] = "2490375";
  V shortRules(31, "0");
  shortRules[30] = "2490379";
  const struct {
    const char* what;
    GameFile file;
    std::string content;
    bool patched;
  } cases[] = {
      {"script with the cup block", kCupScriptFile, *PatchedWithBackups().Content(kScript), true},
      {"script without it", kCupScriptFile, kOriginalScript, false},
      {"script with a count that is no number", kCupScriptFile, CrLf({"x", "_ID_FACUP_PORTUGAL"}),
       false},
      {"entry naming the cup", kCountryFile, CrLf(entry), true},
      {"entry in the default-cup form", kCountryFile, CrLf(defaultEntry), true},
      {"entry naming another cup", kCountryFile, CrLf(otherCup), false},
      {"no FA_CUP entry", kCountryFile, CrLf({"%INDEX%COMPETITION", "%INDEXEND%COMPETITION"}),
       false},
      {"original entry", kCountryFile, kOriginalCountry, false},
      {"rules with both values", kRulesFile, CrLf(rules), true},
      {"rules ending at line 31, set", kRulesFile, CrLf(shortRules), true},
      {"rules too short to hold a value", kRulesFile, CrLf(V(30, "2490379")), false},
      {"rules with one value only", kRulesFile, CrLf(V(40, "2490379")), false},
      {"empty rules", kRulesFile, "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPatched(c.file, c.content, cup3), c.patched) << c.what;
  }
  // The cup indexes: from each script, the index its patch leaves; each once.
  const std::string patchedScript = *PatchedWithBackups().Content(kScript);
  EXPECT_EQ(PatchedCupIndexes({kOriginalScript, patchedScript, std::nullopt, "x\r\n"}),
            (std::vector<std::int32_t>{3, 22}));
}

// What cannot be read cannot be judged, what cannot be written stays, and a
// backup that cannot be removed is named; the other files are restored.
TEST(Restore, FilesThatCannotBeReadOrWrittenAreReportedAndTheRestGoesOn) {
  const struct {
    const char* what;
    std::function<void(MemoryFileSystem&)> breakIt;
    O country;
    const char* reason;
    bool countryOriginal;
    bool backupStays;
  } cases[] = {
      {"country locked", [](MemoryFileSystem& fs) { fs.SetLocked(kCountry); }, O::NotWritten,
       kReasonUnreadable, false, true},
      {"country read only", [](MemoryFileSystem& fs) { fs.SetReadOnly(kCountry); }, O::NotWritten,
       kReasonNotWritten, false, true},
      {"country backup locked", [](MemoryFileSystem& fs) { fs.SetLocked(kCountryBackup); },
       O::NotWritten, kReasonUnreadable, false, true},
      {"country read in part",
       [](MemoryFileSystem& fs) {
         fs.InjectFault({Op::Read, 3, 5});
       },
       O::NotWritten, kReasonUnreadable, false, true},
      {"country's rewrite not landing",
       [](MemoryFileSystem& fs) {
         fs.InjectFault({Op::Replace, 2});
       },
       O::NotWritten, kReasonNotWritten, false, true},
      {"country backup read only", [](MemoryFileSystem& fs) { fs.SetReadOnly(kCountryBackup); },
       O::Restored, kReasonBackupKept, true, true},
      {"country backup not removed",
       [](MemoryFileSystem& fs) {
         fs.InjectFault({Op::Remove, 2});
       },
       O::Restored, kReasonBackupKept, true, true},
  };
  for (const auto& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (silent ? " /s" : ""));
      MemoryFileSystem fs = PatchedWithBackups();
      const std::string patched = *fs.Content(kCountry);
      c.breakIt(fs);
      Restored run = Restore(fs, silent ? V{"/u", "/s"} : V{"/U"});
      const bool leftNotOriginal = c.country == O::NotWritten;
      EXPECT_EQ(run.code, leftNotOriginal ? kExitNotWritten : kExitOk);
      ASSERT_EQ(run.reports.size(), 3u);
      EXPECT_EQ(run.reports[0].outcome, O::Restored);
      EXPECT_EQ(run.reports[1].outcome, c.country);
      EXPECT_EQ(run.reports[1].reason, c.reason);
      EXPECT_EQ(run.reports[2].outcome, O::Restored);
      EXPECT_EQ(fs.Content(kScript), kOriginalScript);
      EXPECT_EQ(fs.Content(kRules), kOriginalRules);
      EXPECT_EQ(fs.Content(kCountry), c.countryOriginal ? kOriginalCountry : patched);
      EXPECT_EQ(fs.Content(kCountryBackup),
                c.backupStays ? std::optional(kOriginalCountry) : std::nullopt);
      if (silent) {
        EXPECT_TRUE(run.ui.dialogs.empty());
      } else {
        ASSERT_EQ(run.ui.dialogs.size(), 1u);
        EXPECT_EQ(run.ui.dialogs[0].first, NotRestoredMessage(run.reports));
        EXPECT_NE(run.ui.dialogs[0].first.find(std::string("\r\nCountry38.sav (") + c.reason),
                  std::string::npos);
      }
    }
  }
}

// A restore takes turns with other runs as a patch run does: it holds the
// installation for all its file operations, and one held elsewhere for the
// whole wait ends with 4, nothing read, the user told unless silent.
TEST(Restore, HoldsTheInstallationAsAPatchRunDoes) {
  for (const bool heldElsewhere : {false, true}) {
    for (const bool silent : {false, true}) {
      SCOPED_TRACE(std::string(heldElsewhere ? "held elsewhere" : "free") +
                   (silent ? ", silent" : ""));
      MemoryFileSystem fs = PatchedWithBackups();
      if (heldElsewhere) fs.SetHeldElsewhere();
      const auto before = fs.Files();
      const Restored run = Restore(fs, silent ? V{"/u", "/s"} : V{"/u"});
      ASSERT_FALSE(fs.Log().empty());
      EXPECT_EQ(fs.Log().front(), std::make_pair(Op::Lock, std::string(kDir)));
      EXPECT_FALSE(fs.LockHeld());
      if (heldElsewhere) {
        EXPECT_EQ(run.code, kExitBusy);
        EXPECT_EQ(fs.Log().size(), 1u) << "a file was looked at";
        EXPECT_EQ(fs.Files(), before);
        EXPECT_TRUE(run.reports.empty());
        EXPECT_EQ(run.ui.dialogs.size(), silent ? 0u : 1u);
        if (!silent && !run.ui.dialogs.empty()) {
          EXPECT_EQ(run.ui.dialogs[0].first, kBusyMessage);
        }
      } else {
        EXPECT_EQ(run.code, kExitOk);
        EXPECT_EQ(fs.UnlockedOperations(), 0);
        EXPECT_EQ(*fs.Content(kRules), kOriginalRules);
      }
    }
  }
}

}  // namespace
}  // namespace corvaldo
