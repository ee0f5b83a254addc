#include "app/dry_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>

#include "dryrun/dry_run_file_system.h"
#include "gamefiles/errors.h"
#include "test_support.h"

namespace corvaldo {
namespace {

using namespace corvaldo::fakes;
using Op = MemoryFileSystem::Op;
using V = std::vector<std::string>;

MemoryFileSystem Installation() {
  MemoryFileSystem fs;
  fs.AddFile(kScript, CrLf({"3", "; cups", "%INDEX%CUP0", "EN", "_ID_FACUP_ENGLAND"}));
  fs.AddFile(kCountry, CrLf({"%INDEX%COMPETITION", "", "{ 0, FA_CUP }", "a", "b", "0", "c", "1,2",
                             "%INDEXEND%COMP", "%INDEXEND%COMPETITION"}));
  fs.AddFile(kRules, CrLf(V(40, "0")));
  return fs;
}

struct Outcome {
  int code = -1;
  std::string error;  // the error kind that ended the run
  V notWritten;
  std::vector<std::pair<FileOutcome, bool>> outcomes;  // and whether a backup was made
};

Outcome RunOver(FileSystem& fs, const V& switches) {
  Outcome outcome;
  FakeUi ui;
  FakeRegistry registry = FakeRegistry::String(std::string(kDir) + "\\");
  try {
    std::vector<FileReport> reports;
    outcome.code = ApplyPatches(ParseCommandLine(switches), fs, registry, ui, &reports, false);
    for (const FileReport& report : reports) {
      if (report.outcome == FileOutcome::NotWritten)
        outcome.notWritten.emplace_back(report.file.path + 1);
      outcome.outcomes.emplace_back(report.outcome, report.backupMade);
    }
  } catch (const EError& error) {
    outcome.error = error.KindName();
  }
  return outcome;
}

TEST(DryRun, DecidesAsTheRealRunAndWritesNothing) {
  const struct {
    const char* name;
    V switches;
    std::function<void(MemoryFileSystem&)> prepare;
  } cases[] = {
      {"default", {}, [](MemoryFileSystem&) {}},
      {"all, with backups", {"/tp", "/r", "/b"}, [](MemoryFileSystem&) {}},
      {"/td /b", {"/td", "/b"}, [](MemoryFileSystem&) {}},
      {"a backup already there",
       {"/b"},
       [](MemoryFileSystem& fs) { fs.AddFile(kScriptBackup, "kept"); }},
      {"read-only script", {"/tp", "/r"}, [](MemoryFileSystem& fs) { fs.SetReadOnly(kScript); }},
      {"locked country", {"/b"}, [](MemoryFileSystem& fs) { fs.SetLocked(kCountry); }},
      {"no backup can be made",
       {"/r", "/b"},
       [](MemoryFileSystem& fs) {
         fs.InjectFault({Op::Copy, 1});
       }},
      {"country refused",
       {},
       [](MemoryFileSystem& fs) {
         fs.InjectFault({Op::OpenReplace, 2});
       }},
      {"LF, Ctrl-Z, no rules yet",
       {"/r"},
       [](MemoryFileSystem& fs) {
         std::string lf;
         for (int i = 0; i < 40; ++i) lf += "0\n";
         fs.AddFile(kRules, lf + "\x1Atail");
       }},
      {"rules file missing", {"/r", "/b"}, [](MemoryFileSystem& fs) { fs.RemoveFile(kRules); }},
      // The script is rewritten before the country entry ends the run.
      {"error after a rewrite",
       {"/b"},
       [](MemoryFileSystem& fs) {
         fs.AddFile(kCountry, CrLf({"%INDEX%COMPETITION", "", "{ 0, FA_CUP }", "%INDEXEND%COMP"}));
       }},
      {"error first", {}, [](MemoryFileSystem& fs) { fs.AddFile(kScript, CrLf({"x"})); }},
  };
  for (const auto& c : cases) {
    MemoryFileSystem real = Installation();
    c.prepare(real);
    MemoryFileSystem preview = real;
    preview.SetPreview();
    const auto before = real.Files();

    const Outcome expected = RunOver(real, c.switches);
    DryRunFileSystem dry(preview);
    const Outcome got = RunOver(dry, c.switches);
    EXPECT_EQ(got.code, expected.code) << c.name;
    EXPECT_EQ(got.error, expected.error) << c.name;
    EXPECT_EQ(got.notWritten, expected.notWritten) << c.name;
    EXPECT_EQ(got.outcomes, expected.outcomes) << c.name;
    EXPECT_EQ(preview.Files(), before) << c.name;

    // It names exactly the files the real run wrote, each with the content
    // the real run gave it.
    std::set<std::string> written, named;
    for (const auto& [path, content] : real.Files()) {
      if (!before.count(path) || before.at(path) != content) written.insert(path);
    }
    for (const auto& change : dry.Changes()) {
      named.insert(change.path);
      const bool copy = change.kind == DryRunFileSystem::Change::Kind::Copy;
      EXPECT_EQ(copy ? preview.Content(change.from) : dry.Rewritten(change.path),
                real.Content(change.path))
          << c.name << ": " << change.path;
    }
    EXPECT_EQ(named, written) << c.name;
  }
  // It takes no lock: another run holding the installation stops it not.
  MemoryFileSystem held = Installation();
  held.SetHeldElsewhere();
  held.SetPreview();
  DryRunFileSystem dry(held);
  EXPECT_EQ(RunOver(dry, {"/b"}).code, kExitOk);
  for (const auto& [op, path] : held.Log()) EXPECT_NE(op, Op::Lock) << path;
}

// The report, as a user reads it: each backup, what the lines do not show,
// the diff under the files' host paths, and the closing line; no status.
TEST(DryRun, ReportsWhatWouldChange) {
  MemoryFileSystem fs = Installation();
  std::string rules;
  for (int i = 1; i <= 40; ++i) rules += std::to_string(i) + "\n";
  fs.AddFile(kRules, rules + "\x1A");
  fs.SetPreview();
  FakeRegistry registry = FakeRegistry::String(std::string(kDir) + "\\");
  GameLocation game{std::make_unique<FakeRegistry>(registry),
                    std::make_unique<MemoryFileSystem>(fs),
                    std::nullopt,
                    [](const std::string& path) { return "/p/" + path.substr(3); },
                    {}};
  FakeUi ui;
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(DryRunPatches(ParseCommandLine({"/r", "/b"}), game, ui, out), kExitOk);
  std::string text(4096, '\0');
  std::rewind(out);
  text.resize(std::fread(text.data(), 1, text.size(), out));
  std::fclose(out);
  EXPECT_EQ(
      text,
      "C\xC3\xB3pia / Backup: '/p/Games\\TCM\\database\\Rules.backup-original.sav'\n"
      "Os fins de linha passam a CR LF. / Line ends become CR LF.\n"
      "Os 1 bytes a partir do Ctrl-Z s\xC3\xA3o retirados. / "
      "The 1 bytes from the Ctrl-Z on are removed.\n"
      "--- \"/p/Games\\\\TCM\\\\database\\\\Rules.sav\"\n"
      "+++ \"/p/Games\\\\TCM\\\\database\\\\Rules.sav\"\n"
      "@@ -28,10 +28,10 @@\n 28\n 29\n 30\n-31\n+2490379\n 32\n 33\n-34\n+2490375\n 35\n 36\n 37\n"
      "Nada foi alterado. / Nothing was changed.\n");
  EXPECT_TRUE(ui.statusTexts.empty());
}

}  // namespace
}  // namespace corvaldo
