#include "app/apply_patches.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "gamefiles/errors.h"
#include "patches/cup_script_patch.h"
#include "test_support.h"

namespace corvaldo {
namespace {

using namespace corvaldo::fakes;
using Op = MemoryFileSystem::Op;
using V = std::vector<std::string>;

const std::string kScriptText = CrLf({"3", "; cups", "%INDEX%CUP0", "EN", "_ID_FACUP_ENGLAND"});
const std::string kCountryText = CrLf({"%INDEX%COMPETITION", "", "{ 0, FA_CUP }", "a", "b", "0",
                                       "c", "1,2", "%INDEXEND%COMP", "%INDEXEND%COMPETITION"});
const std::string kRulesText = CrLf(V(40, "0"));

MemoryFileSystem Installation() {
  MemoryFileSystem fs;
  fs.AddFile(kScript, kScriptText);
  fs.AddFile(kCountry, kCountryText);
  fs.AddFile(kRules, kRulesText);
  return fs;
}

int Rewrites(const MemoryFileSystem& fs) {
  int n = 0;
  for (const auto& [op, path] : fs.Log()) n += op == Op::OpenReplace;
  return n;
}

TEST(ApplyPatches, DefaultRunPatchesScriptAndCountryThenSettles) {
  MemoryFileSystem fs = Installation();
  FakeUi ui;
  EXPECT_EQ(RunPatcher(fs, {}, &ui), kExitOk);
  EXPECT_NE(fs.Content(kScript)->find("%INDEX%CUP3\r\nFA\r\n_ID_FACUP_PORTUGAL"),
            std::string::npos);
  EXPECT_EQ(fs.Content(kCountry)->substr(0, 46),
            "%INDEX%COMPETITION\r\nDB_CUP\r\n{ 0, FA_CUP }\r\na\r\n");
  EXPECT_NE(fs.Content(kCountry)->find("b\r\n3\r\nc"), std::string::npos);
  EXPECT_EQ(fs.Content(kRules), kRulesText);
  EXPECT_TRUE(ui.dialogs.empty());

  const auto before = fs.Files();
  const std::size_t logged = fs.Log().size();
  EXPECT_EQ(RunPatcher(fs, {"/b", "/r"}), kExitOk);  // only the rules still need a change
  EXPECT_EQ(fs.Content(kScript), before.at(kScript));
  EXPECT_EQ(fs.Content(kCountry), before.at(kCountry));
  EXPECT_FALSE(fs.Content(kScriptBackup));
  EXPECT_EQ(fs.Content(kRulesBackup), kRulesText);
  EXPECT_EQ(Rewrites(fs), 3);
  EXPECT_GT(fs.Log().size(), logged);
  EXPECT_EQ(RunPatcher(fs, {"/r", "/tp", "/b"}), kExitOk);
  EXPECT_EQ(Rewrites(fs), 3);
}

TEST(ApplyPatches, SwitchesSelectTheStages) {
  const struct {
    V switches;
    bool script, country, rules;
  } cases[] = {
      {{}, true, true, false},           {{"/r"}, false, false, true},
      {{"/td"}, false, true, false},     {{"/td", "/r"}, false, true, true},
      {{"/tp", "/r"}, true, true, true},
  };
  for (const auto& c : cases) {
    MemoryFileSystem fs = Installation();
    EXPECT_EQ(RunPatcher(fs, c.switches), kExitOk);
    EXPECT_EQ(fs.Content(kScript) != kScriptText, c.script);
    EXPECT_EQ(fs.Content(kCountry) != kCountryText, c.country);
    EXPECT_EQ(fs.Content(kRules) != kRulesText, c.rules);
  }
}

TEST(ApplyPatches, NotInstalledTouchesNothing) {
  for (bool silent : {false, true}) {
    MemoryFileSystem fs = Installation();
    FakeUi ui;
    FakeRegistry registry;
    const RunOptions options = ParseCommandLine(silent ? V{"/s", "/r"} : V{"/r"});
    EXPECT_EQ(ApplyPatches(options, fs, registry, ui), kExitOk);
    EXPECT_TRUE(fs.Log().empty());
    EXPECT_EQ(ui.dialogs.size(), silent ? 0u : 1u);
  }
}

TEST(ApplyPatches, ErrorStopsTheLaterStages) {
  MemoryFileSystem fs = Installation();
  const std::string shortEntry = CrLf({"%INDEX%COMPETITION", "x", "{ FA_CUP }", "%INDEXEND%COMP"});
  fs.AddFile(kCountry, shortEntry);
  EXPECT_THROW(RunPatcher(fs, {"/tp", "/r", "/b"}), EStringListError);
  EXPECT_NE(fs.Content(kScript), kScriptText);  // the earlier stage's rewrite stays
  EXPECT_EQ(fs.Content(kCountry), shortEntry);
  EXPECT_FALSE(fs.Content(kCountryBackup));
  EXPECT_EQ(fs.Content(kRules), kRulesText);  // the later stage never ran
}

// A needed rewrite that does not land: the other stages still run, the run
// ends with 2, and the user is told which file unless silent.
TEST(ApplyPatches, RewritesThatDoNotLandEndWithTwo) {
  const std::string scriptName = "script\\cupAlloc.txt";
  const std::string rulesName = "database\\Rules.sav";
  const struct {
    const char* what;
    V switches;
    std::function<void(MemoryFileSystem&)> breakIt;
    V notWritten;
    bool countryPatched;
  } cases[] = {
      {"read-only script",
       {"/r"},
       [](MemoryFileSystem& fs) { fs.SetReadOnly(kScript); },
       {},
       false},
      {"read-only script",
       {},
       [](MemoryFileSystem& fs) { fs.SetReadOnly(kScript); },
       {scriptName},
       false},
      {"locked script",
       {"/r"},
       [](MemoryFileSystem& fs) {
         fs.SetLocked(kScript);
         fs.SetReadOnly(kRules);
       },
       {rulesName},
       false},
      {"unreadable script",
       {"/tp", "/r"},
       [](MemoryFileSystem& fs) { fs.SetLocked(kScript); },
       {scriptName},
       false},
      {"partly read script",
       {},
       [](MemoryFileSystem& fs) {
         fs.InjectFault({Op::Read, 1, 4});
       },
       {scriptName},
       false},
      {"no script folder",
       {},
       [](MemoryFileSystem& fs) {
         MemoryFileSystem fresh;
         fresh.AddFile(kCountry, kCountryText);
         fs = fresh;
       },
       {scriptName},
       false},
      {"backup copy fails",
       {"/b"},
       [](MemoryFileSystem& fs) {
         fs.InjectFault({Op::Copy, 1, 0});
       },
       {scriptName},
       false},
      {"country backup fails",
       {"/b"},
       [](MemoryFileSystem& fs) {
         fs.InjectFault({Op::Copy, 2, 0});
       },
       {"database\\Country38.sav"},
       false},
      {"a folder at the backup's name",
       {"/b"},
       [](MemoryFileSystem& fs) { fs.AddFolder(kScriptBackup); },
       {scriptName},
       false},
      {"flush fails",
       {"/r"},
       [](MemoryFileSystem& fs) {
         fs.InjectFault({Op::Flush, 1, 0});
       },
       {rulesName},
       false},
      {"default form, country read-only",
       {"/td", "/r"},
       [](MemoryFileSystem& fs) { fs.SetReadOnly(kCountry); },
       {"database\\Country38.sav"},
       false},
  };
  for (const auto& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (silent ? " /s" : ""));
      MemoryFileSystem fs = Installation();
      c.breakIt(fs);
      V switches = c.switches;
      if (silent) switches.push_back("/s");
      FakeUi ui;
      const int code = RunPatcher(fs, switches, &ui);
      EXPECT_EQ(code, c.notWritten.empty() ? kExitOk : kExitNotWritten);
      if (!c.notWritten.empty() && !silent) {
        ASSERT_EQ(ui.dialogs.size(), 1u);
        EXPECT_EQ(ui.dialogs[0].first, NotWrittenMessage(c.notWritten));
        EXPECT_EQ(ui.dialogs[0].second, 0);
      } else {
        EXPECT_TRUE(ui.dialogs.empty());
      }
      EXPECT_EQ(fs.Content(kCountry) != kCountryText, c.countryPatched);
      for (const auto& [path, content] : fs.Files()) {
        EXPECT_FALSE(MemoryFileSystem::IsTemporaryName(path)) << path;
      }
    }
  }
  // The rules stage still ran after the cup script failed.
  MemoryFileSystem fs = Installation();
  fs.SetReadOnly(kScript);
  EXPECT_EQ(RunPatcher(fs, {"/tp", "/r"}), kExitNotWritten);
  EXPECT_NE(fs.Content(kRules), kRulesText);
  EXPECT_EQ(fs.Content(kScript), kScriptText);
  EXPECT_EQ(NotWrittenMessage({"a", "b"}),
            "N\xE3o foi poss\xEDvel gravar:\r\nCould not write:\r\na\r\nb");
}

// Each file the run was asked about, in stage order, with what became of it
// and whether this run made its backup.
TEST(ApplyPatches, ReportsWhatBecameOfEachFile) {
  using O = FileOutcome;
  struct Want {
    const char* file;
    O outcome;
    bool backup;
  };
  const struct {
    const char* what;
    V firstRun;  // run before the one reported, when given
    V switches;
    std::function<void(MemoryFileSystem&)> prepare;
    std::vector<Want> want;
  } cases[] = {
      {"default",
       {},
       {},
       nullptr,
       {{"\\script\\cupAlloc.txt", O::Changed, false},
        {"\\database\\Country38.sav", O::Changed, false}}},
      {"all with backups",
       {},
       {"/tp", "/r", "/b"},
       nullptr,
       {{"\\script\\cupAlloc.txt", O::Changed, true},
        {"\\database\\Country38.sav", O::Changed, true},
        {"\\database\\Rules.sav", O::Changed, true}}},
      {"second run",
       {"/tp", "/r"},
       {"/tp", "/r", "/b"},
       nullptr,
       {{"\\script\\cupAlloc.txt", O::InOrder, false},
        {"\\database\\Country38.sav", O::InOrder, false},
        {"\\database\\Rules.sav", O::InOrder, false}}},
      {"backup already there",
       {},
       {"/td", "/b"},
       [](MemoryFileSystem& fs) { fs.AddFile(kCountryBackup, "older"); },
       {{"\\database\\Country38.sav", O::Changed, false}}},
      {"read-only script: the country entry is not looked at",
       {},
       {"/b"},
       [](MemoryFileSystem& fs) { fs.SetReadOnly(kScript); },
       {{"\\script\\cupAlloc.txt", O::NotWritten, true},
        {"\\database\\Country38.sav", O::Skipped, false}}},
      {"missing rules file",
       {},
       {"/r"},
       [](MemoryFileSystem& fs) { fs.RemoveFile(kRules); },
       {{"\\database\\Rules.sav", O::InOrder, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryFileSystem fs = Installation();
    if (c.prepare) c.prepare(fs);
    FakeUi ui;
    FakeRegistry registry = FakeRegistry::String(std::string(kDir));
    if (!c.firstRun.empty()) ApplyPatches(ParseCommandLine(c.firstRun), fs, registry, ui);
    std::vector<FileReport> reports;
    ApplyPatches(ParseCommandLine(c.switches), fs, registry, ui, &reports);
    ASSERT_EQ(reports.size(), c.want.size());
    for (std::size_t i = 0; i < reports.size(); ++i) {
      EXPECT_STREQ(reports[i].file.path, c.want[i].file) << i;
      EXPECT_EQ(reports[i].outcome, c.want[i].outcome) << i;
      EXPECT_EQ(reports[i].backupMade, c.want[i].backup) << i;
    }
  }
  // No game, no reports.
  MemoryFileSystem fs = Installation();
  FakeUi ui;
  FakeRegistry none;
  std::vector<FileReport> reports{FileReport{kRulesFile}};
  EXPECT_EQ(ApplyPatches(ParseCommandLine({}), fs, none, ui, &reports), kExitOk);
  EXPECT_TRUE(reports.empty());
}

// A file that was not written carries the reason the failing step gave,
// whichever step it was: the read, the backup, the opening, a write, the
// flush or the swap.
TEST(ApplyPatches, FilesNotWrittenCarryTheSystemsReason) {
  using M = MemoryFileSystem;
  const std::string longDir = "C:\\" + std::string(237, 'x');
  const struct {
    const char* what;
    V switches;
    std::function<void(MemoryFileSystem&)> breakIt;
    const char* file;
    std::string reason;
    std::string dir = kDir;
  } cases[] = {
      {"read-only",
       {},
       [](M& fs) { fs.SetReadOnly(kScript); },
       "\\script\\cupAlloc.txt",
       M::kReadOnlyReason},
      {"locked",
       {"/td"},
       [](M& fs) { fs.SetLocked(kCountry); },
       "\\database\\Country38.sav",
       M::kLockedReason},
      {"cannot open",
       {"/r"},
       [](M& fs) {
         fs.InjectFault({Op::OpenRead, 1});
       },
       "\\database\\Rules.sav",
       M::ReasonFor(Op::OpenRead)},
      {"read cut short",
       {},
       [](M& fs) {
         fs.InjectFault({Op::Read, 1, 4});
       },
       "\\script\\cupAlloc.txt",
       M::ReasonFor(Op::Read)},
      {"no backup",
       {"/b"},
       [](M& fs) {
         fs.InjectFault({Op::Copy, 1});
       },
       "\\script\\cupAlloc.txt",
       M::ReasonFor(Op::Copy)},
      {"refused",
       {},
       [](M& fs) {
         fs.InjectFault({Op::OpenReplace, 2});
       },
       "\\database\\Country38.sav",
       M::ReasonFor(Op::OpenReplace)},
      {"write fails",
       {},
       [](M& fs) {
         fs.InjectFault({Op::Write, 1, 3});
       },
       "\\script\\cupAlloc.txt",
       M::ReasonFor(Op::Write)},
      {"flush fails",
       {"/r"},
       [](M& fs) {
         fs.InjectFault({Op::Flush, 1});
       },
       "\\database\\Rules.sav",
       M::ReasonFor(Op::Flush)},
      {"swap fails",
       {"/td"},
       [](M& fs) {
         fs.InjectFault({Op::Replace, 1});
       },
       "\\database\\Country38.sav",
       M::ReasonFor(Op::Replace)},
      {"no folder",
       {},
       [](M& fs) { fs = MemoryFileSystem(); },
       "\\script\\cupAlloc.txt",
       "No such file or directory"},
      // The country file's path is over the limit, the cup script's is not.
      {"path too long",
       {"/td"},
       [](M&) {},
       "\\database\\Country38.sav",
       std::strerror(ENAMETOOLONG),
       longDir},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryFileSystem fs;
    fs.AddFile(c.dir + kCupScriptFile.path, kScriptText);
    fs.AddFile(c.dir + kCountryFile.path, kCountryText);
    fs.AddFile(c.dir + kRulesFile.path, kRulesText);
    c.breakIt(fs);
    FakeUi ui;
    FakeRegistry registry = FakeRegistry::String(c.dir);
    std::vector<FileReport> reports;
    EXPECT_EQ(ApplyPatches(ParseCommandLine(c.switches), fs, registry, ui, &reports),
              kExitNotWritten);
    int notWritten = 0;
    for (const FileReport& report : reports) {
      EXPECT_EQ(report.Path(), c.dir + report.file.path);
      if (report.outcome != FileOutcome::NotWritten) continue;
      ++notWritten;
      EXPECT_STREQ(report.file.path, c.file);
      EXPECT_EQ(report.reason, c.reason);
    }
    EXPECT_EQ(notWritten, 1);
  }
}

// An error in a game file names the file and the line it is about, and the
// files done before it are still handed back.
TEST(ApplyPatches, ErrorsNameTheFileAndLine) {
  const struct {
    const char* what;
    std::string script;
    std::string country;
    std::string kind;
    std::string file;
    int line;
  } cases[] = {
      {"count line", CrLf({"3 cups", "; cups"}), kCountryText, "EConvertError", kScript, 1},
      {"index line above the marker",
       CrLf({"3", "a", "b", "%INDEX%CUP9!", "FA", "_ID_FACUP_PORTUGAL"}), kCountryText,
       "EConvertError", kScript, 4},
      {"marker with no index line", CrLf({"3", "_ID_FACUP_PORTUGAL"}), kCountryText,
       "EStringListError", kScript, 2},
      {"short country entry", kScriptText,
       CrLf({"x", "%INDEX%COMPETITION", "", "{ 0, FA_CUP }", "%INDEXEND%COMP"}), "EStringListError",
       kCountry, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryFileSystem fs = Installation();
    fs.AddFile(kScript, c.script);
    fs.AddFile(kCountry, c.country);
    FakeUi ui;
    FakeRegistry registry = FakeRegistry::String(kDir);
    std::vector<FileReport> reports;
    try {
      ApplyPatches(ParseCommandLine({"/tp", "/r"}), fs, registry, ui, &reports);
      ADD_FAILURE() << "no error";
    } catch (const EError& error) {
      EXPECT_EQ(error.KindName(), c.kind);
      EXPECT_EQ(error.GameFilePath(), c.file);
      EXPECT_EQ(error.GameFileLine(), c.line);
    }
    // The cup script was patched before the country file's error.
    ASSERT_EQ(reports.size(), c.file == kCountry ? 1u : 0u);
    if (!reports.empty()) {
      EXPECT_EQ(reports[0].outcome, FileOutcome::Changed);
    }
  }
}

// A UI that notes, for each dialog, whether the run still held the
// installation while the user was asked.
class HoldWatchingUi : public FakeUi {
 public:
  explicit HoldWatchingUi(const MemoryFileSystem& fs) : fs_(fs) {}
  int ShowMessageDialog(const std::string& text, MessageKind kind) override {
    heldDuringDialog = heldDuringDialog || fs_.LockHeld();
    return FakeUi::ShowMessageDialog(text, kind);
  }
  bool heldDuringDialog = false;

 private:
  const MemoryFileSystem& fs_;
};

// Runs at once end as runs one after another: a run holds the installation
// from before its first file operation to after its last, lets go before it
// waits on the user, and one that finds it held for the whole wait ends with
// 4, having read nothing, and says so unless silent.
TEST(ApplyPatches, HoldsTheInstallationForTheWholeRun) {
  const struct {
    const char* what;
    V switches;
    std::function<void(MemoryFileSystem&)> prepare;
    int code;
    std::size_t dialogs;
  } cases[] = {
      {"free", {"/tp", "/r", "/b"}, nullptr, kExitOk, 0},
      {"free, a file not written",
       {"/r"},
       [](MemoryFileSystem& fs) { fs.SetReadOnly(kRules); },
       kExitNotWritten,
       1},
      {"an error ends the run",
       {},
       [](MemoryFileSystem& fs) { fs.AddFile(kScript, "x\r\n"); },
       -1,
       0},
      {"held by another run",
       {"/b"},
       [](MemoryFileSystem& fs) { fs.SetHeldElsewhere(); },
       kExitBusy,
       1},
      {"held by another run, silent",
       {"/b", "/s"},
       [](MemoryFileSystem& fs) { fs.SetHeldElsewhere(); },
       kExitBusy,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryFileSystem fs = Installation();
    if (c.prepare) c.prepare(fs);
    const auto before = fs.Files();
    HoldWatchingUi ui(fs);
    int code = -1;
    try {
      code = RunPatcher(fs, c.switches, &ui);
    } catch (const EError&) {
      EXPECT_FALSE(fs.LockHeld()) << "the error report waits on the user";
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(ui.dialogs.size(), c.dialogs);
    EXPECT_FALSE(ui.heldDuringDialog);
    EXPECT_FALSE(fs.LockHeld());
    EXPECT_EQ(fs.LockWait(), std::chrono::seconds(30));
    ASSERT_FALSE(fs.Log().empty());
    EXPECT_EQ(fs.Log().front(), std::make_pair(Op::Lock, std::string(kDir)));
    if (c.code == kExitBusy) {
      EXPECT_EQ(fs.Log().size(), 1u) << "a file was looked at";
      EXPECT_EQ(fs.Files(), before);
      if (c.dialogs > 0) {
        EXPECT_EQ(ui.dialogs[0].first, kBusyMessage);
        EXPECT_EQ(ui.dialogs[0].second, 0);
      }
    } else {
      EXPECT_EQ(fs.UnlockedOperations(), 0);
    }
  }
}

TEST(ApplyPatches, PresentBackupIsKeptAndFileRewritten) {
  MemoryFileSystem fs = Installation();
  fs.AddFile(kScriptBackup, "old backup");
  EXPECT_EQ(RunPatcher(fs, {"/b"}), kExitOk);
  EXPECT_EQ(fs.Content(kScriptBackup), "old backup");
  EXPECT_NE(fs.Content(kScript), kScriptText);
  EXPECT_EQ(fs.Content(kCountryBackup), kCountryText);
}

}  // namespace
}  // namespace corvaldo
