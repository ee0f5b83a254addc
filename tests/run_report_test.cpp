#include "app/run_report.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "test_support.h"
#include "text/cp1252.h"

namespace corvaldo {
namespace {

using namespace corvaldo::fakes;
using O = FileOutcome;

FileReport Report(GameFile file, O outcome, bool backup = false, std::string reason = {},
                  std::string dir = kDir) {
  FileReport report{file, outcome};
  report.backupMade = backup;
  report.reason = std::move(reason);
  report.installDir = std::move(dir);
  return report;
}

// Where the fake prefix puts a Windows path: under /p, with slashes.
std::string HostOf(const std::string& windowsPath) {
  std::string path = "/p/" + Cp1252ToUtf8(windowsPath.substr(3));
  for (char& c : path) c = c == '\\' ? '/' : c;
  return path;
}

const std::string kReadOnly = std::strerror(EROFS);

TEST(RunReport, NamesEachFileByItsPathWithWhatBecameOfIt) {
  const struct {
    const char* what;
    std::vector<FileReport> files;
    std::function<bool(const std::string&)> onNtfs;
    std::string closing;
    std::string notWritten;
  } cases[] = {
      {"changed, with backups, and in order",
       {Report(kCupScriptFile, O::Changed, true), Report(kCountryFile, O::InOrder),
        Report(kRulesFile, O::Changed)},
       nullptr,
       "Alterado / Changed: /p/Games/TCM/script/cupAlloc.txt\n"
       "C\xC3\xB3pia feita / Backup made: /p/Games/TCM/script/cupAlloc.backup-original.txt\n"
       "J\xC3\xA1 estava em ordem / Already in order: /p/Games/TCM/database/Country38.sav\n"
       "Alterado / Changed: /p/Games/TCM/database/Rules.sav\n",
       ""},
      {"not written, and the entry not looked at",
       {Report(kCupScriptFile, O::NotWritten, true, "Permission denied"),
        Report(kCountryFile, O::Skipped)},
       [](const std::string&) { return true; },  // not a read-only disk: no word on NTFS
       "N\xC3\xA3o gravado / Not written: /p/Games/TCM/script/cupAlloc.txt: Permission denied\n"
       "C\xC3\xB3pia feita / Backup made: /p/Games/TCM/script/cupAlloc.backup-original.txt\n"
       "N\xC3\xA3o visto (o script n\xC3\xA3o tem a ta\xC3\xA7"
       "a) / Not looked at (the cup script lacks the cup): "
       "/p/Games/TCM/database/Country38.sav\n",
       "N\xC3\xA3o foi poss\xC3\xADvel gravar:\nCould not write:\n"
       "  /p/Games/TCM/script/cupAlloc.txt: Permission denied\n"},
      {"a read-only NTFS disk, and a name that would act on the terminal",
       {Report(kCupScriptFile, O::NotWritten, false, kReadOnly, "C:\\Jogos do Z\xE9\x1B[2J"),
        Report(kRulesFile, O::NotWritten)},
       [](const std::string& path) { return path.find("Jogos") != std::string::npos; },
       "N\xC3\xA3o gravado / Not written: '/p/Jogos do Z\xC3\xA9'$'\\033''[2J/script/"
       "cupAlloc.txt': " +
           kReadOnly +
           "\n"
           "N\xC3\xA3o gravado / Not written: /p/Games/TCM/database/Rules.sav\n",
       "N\xC3\xA3o foi poss\xC3\xADvel gravar:\nCould not write:\n"
       "  '/p/Jogos do Z\xC3\xA9'$'\\033''[2J/script/cupAlloc.txt': " +
           kReadOnly +
           "\n"
           "  /p/Games/TCM/database/Rules.sav\n"
           "O disco NTFS est\xC3\xA1 montado s\xC3\xB3 para leitura: o Windows pode estar "
           "hibernado ou\n"
           "com o Arranque r\xC3\xA1pido ligado. Encerre-o por completo e volte a montar o "
           "disco.\n"
           "The NTFS disk is mounted read-only: Windows may be hibernated or have Fast\n"
           "Startup on. Shut Windows down fully and mount the disk again.\n"},
      {"read-only, but not NTFS",
       {Report(kRulesFile, O::NotWritten, false, kReadOnly)},
       [](const std::string&) { return false; },
       "N\xC3\xA3o gravado / Not written: /p/Games/TCM/database/Rules.sav: " + kReadOnly + "\n",
       "N\xC3\xA3o foi poss\xC3\xADvel gravar:\nCould not write:\n"
       "  /p/Games/TCM/database/Rules.sav: " +
           kReadOnly + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ClosingReport(c.files, HostOf), c.closing);
    EXPECT_EQ(NotWrittenReport(c.files, HostOf, c.onNtfs), c.notWritten);
  }
}

TEST(RunReport, NamesTheFileAndLineOfAnError) {
  const struct {
    std::string file;
    int line;
    const char* shown;
  } cases[] = {
      {kScript, 1, "No ficheiro / In file: /p/Games/TCM/script/cupAlloc.txt, linha 1 / line 1\n"},
      {"C:\\A B\\database\\Country38.sav", 0,
       "No ficheiro / In file: '/p/A B/database/Country38.sav'\n"},
      {"", 3, ""},
  };
  for (const auto& c : cases) {
    EConvertError error("x");
    if (!c.file.empty()) error.SetGameFile(c.file, c.line);
    EXPECT_EQ(ErrorPlace(error, HostOf), c.shown) << c.file;
  }
}

}  // namespace
}  // namespace corvaldo
