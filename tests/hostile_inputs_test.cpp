// Inputs nobody should hand the patcher, run through the real Linux seams:
// huge, truncated or garbled registry files, install paths at and beyond the
// platform's limit, extreme game files, and symlinks out of the prefix. Each
// has one defined outcome; none may crash the run or damage a file. The big
// inputs are generated here, never committed.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/apply_patches.h"
#include "gamefiles/errors.h"
#include "gamefiles/install_dir.h"
#include "patches/cup_script_patch.h"
#include "test_support.h"
#include "wine/system_reg.h"
#include "wine/wine_prefix.h"

namespace corvaldo {
namespace {

namespace fsys = std::filesystem;
using fakes::CrLf;
using fakes::FakeRegistry;
using fakes::FakeUi;
using Lines = std::vector<std::string>;

const std::string kRegistryHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
const std::string kGameKey =
    "[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005] 1700000000\n";
const std::string kInstallDirLine = "\"Install Dir\"=\"C:\\\\Games\\\\TCM 2005\\\\\"";
const std::string kInstallDirValue = std::string("C:\\Games\\TCM 2005\\") + '\0';

std::string ReadAll(const fsys::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteAll(const fsys::path& path, const std::string& bytes) {
  fsys::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Block(std::int32_t index) {
  std::string text;
  for (const std::string& line : PortugueseCupBlock(index)) text += line + "\r\n";
  return text;
}

// A temporary Wine-prefix-shaped folder with a small, valid installation.
class Prefix {
 public:
  Prefix() {
    char pattern[] = "/tmp/corvaldo-hostile-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  ~Prefix() {
    std::error_code ignored;
    fsys::remove_all(root_, ignored);
  }
  const fsys::path& Root() const { return root_; }
  fsys::path DriveC() const { return root_ / "drive_c"; }

  // The game's three files under `unixDir`.
  static void Install(const fsys::path& unixDir) {
    WriteAll(unixDir / "script/cupAlloc.txt", kScript);
    WriteAll(unixDir / "database/Country38.sav", kCountry);
    WriteAll(unixDir / "database/Rules.sav", kRules);
  }

  // Every file and link under drive_c with its content or target.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fsys::recursive_directory_iterator(DriveC())) {
      const std::string name = fsys::relative(entry.path(), root_).string();
      if (entry.is_symlink()) {
        tree[name] = "-> " + fsys::read_symlink(entry.path()).string();
      } else if (entry.is_regular_file()) {
        tree[name] = ReadAll(entry.path());
      } else {
        tree[name] = "<folder>";
      }
    }
    return tree;
  }

  inline static const std::string kScript = CrLf({"2", "; cups", "%INDEX%CUP0", "EN"});
  inline static const std::string kCountry =
      CrLf({"%INDEX%COMPETITION", "", "{ 0, FA_CUP }", "a", "b", "0", "c", "1,2", "%INDEXEND%COMP",
            "%INDEXEND%COMPETITION"});
  inline static const std::string kRules = CrLf(Lines(40, "0"));

 private:
  fsys::path root_;
};

struct Outcome {
  int code = kExitOk;
  std::string failureReport;  // set when one of the three errors ended the run
  FakeUi ui;
};

// The run main() makes, over the real Linux file seam, with `registry`.
Outcome RunOn(const Prefix& prefix, Registry& registry, const Lines& switches) {
  Outcome outcome;
  std::unique_ptr<FileSystem> files = MakeWineFileSystem(prefix.Root().string());
  try {
    outcome.code = ApplyPatches(ParseCommandLine(switches), *files, registry, outcome.ui);
  } catch (const EError& error) {
    outcome.code = kExitError;
    outcome.failureReport =
        FormatFailureReport(error.KindName(), "script-corvaldo", 0, error.Message());
  }
  return outcome;
}

Outcome RunOn(const Prefix& prefix, const std::string& installDir, const Lines& switches) {
  FakeRegistry registry = FakeRegistry::String(installDir);
  return RunOn(prefix, registry, switches);
}

// --- system.reg

TEST(HostileRegistry, HugeFileIsReadWholeAndOneBeyondTheLimitIsRefused) {
  Prefix prefix;
  // About 24 MB of other software's keys, the game's key last.
  std::string text = kRegistryHeader + "#arch=win64\n\n";
  text.reserve(26u << 20);
  for (int i = 0; text.size() < (24u << 20); ++i) {
    text += "[Software\\\\Wow6432Node\\\\Vendor " + std::to_string(i) + "\\\\Product] 1700000000\n";
    text += "\"Install Dir\"=\"C:\\\\Program Files\\\\Product " + std::to_string(i) + "\"\n";
    text += "\"Version\"=dword:00000001\n\n";
  }
  text += kGameKey + kInstallDirLine + "\n";
  WriteAll(prefix.Root() / "system.reg", text);
  std::unique_ptr<Registry> registry = MakeWineRegistry(prefix.Root().string());
  std::optional<RegistryValue> value = registry->QueryInstallDir();
  ASSERT_TRUE(value);
  EXPECT_EQ(value->data, kInstallDirValue);

  // Valid text with the game's key first, then padding past 256 MiB: not a
  // registry file Wine wrote, so the game counts as not installed.
  Prefix big;
  WriteAll(big.Root() / "system.reg",
           kRegistryHeader + "#arch=win64\n\n" + kGameKey + kInstallDirLine + "\n");
  fsys::resize_file(big.Root() / "system.reg", (256u << 20) + 1);  // sparse
  Prefix::Install(big.DriveC() / "Games/TCM 2005");
  const auto before = big.Snapshot();
  std::unique_ptr<Registry> bigRegistry = MakeWineRegistry(big.Root().string());
  Outcome outcome = RunOn(big, *bigRegistry, {});
  EXPECT_EQ(outcome.code, kExitOk);
  ASSERT_EQ(outcome.ui.dialogs.size(), 1u);
  EXPECT_EQ(outcome.ui.dialogs[0].first, kNotInstalledMessage);
  EXPECT_EQ(big.Snapshot(), before);
}

// Not a file Wine writes: a FIFO nobody writes to (reading it would block the
// run for good), a device that never ends, a folder. Refused at once.
TEST(HostileRegistry, SystemRegThatIsNotARegularFileIsRefusedAtOnce) {
  const struct {
    const char* what;
    std::function<void(const fsys::path&)> make;
  } cases[] = {
      {"FIFO", [](const fsys::path& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
      {"link to /dev/zero",
       [](const fsys::path& path) { fsys::create_symlink("/dev/zero", path); }},
      {"folder", [](const fsys::path& path) { fsys::create_directory(path); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Prefix prefix;
    Prefix::Install(prefix.DriveC() / "Games/TCM 2005");
    c.make(prefix.Root() / "system.reg");
    const auto before = prefix.Snapshot();
    std::unique_ptr<Registry> registry = MakeWineRegistry(prefix.Root().string());
    EXPECT_FALSE(registry->QueryInstallDir());
    Outcome outcome = RunOn(prefix, *registry, {});
    EXPECT_EQ(outcome.code, kExitOk);
    ASSERT_EQ(outcome.ui.dialogs.size(), 1u);
    EXPECT_EQ(outcome.ui.dialogs[0].first, kNotInstalledMessage);
    EXPECT_EQ(prefix.Snapshot(), before);
  }
}

// Cut at every byte: the value comes back whole or not at all (hex data,
// which has no closing quote, may come back as a prefix of its bytes).
TEST(HostileRegistry, TruncatedAnywhereGivesTheValueWholeOrNothing) {
  const struct {
    std::string line;
    bool mayShorten;
  } cases[] = {
      {kInstallDirLine, false},
      {"\"Install Dir\"=str(2):\"C:\\\\Games\\\\TCM 2005\\\\\"", false},
      {"\"Install Dir\"=hex(1):43,00,3a,00,5c,00,47,00,61,00,6d,00,65,00,73,00,5c,00,\\\n"
       "  54,00,43,00,4d,00,20,00,32,00,30,00,30,00,35,00,5c,00,00,00",
       true},
  };
  int cuts = 0;
  for (const auto& c : cases) {
    const std::string text = kRegistryHeader + "#arch=win64\n\n" + kGameKey + c.line + "\n";
    const std::size_t lineEnd = text.size() - 1;
    for (std::size_t cut = 0; cut <= text.size(); ++cut, ++cuts) {
      SCOPED_TRACE(text.substr(0, cut));
      std::optional<RegistryValue> value =
          FindWineRegistryValue(text.substr(0, cut), kGameKeyPath, kInstallDirValueName);
      if (cut >= lineEnd) {
        ASSERT_TRUE(value);
        EXPECT_EQ(value->data, kInstallDirValue);
      } else if (value) {
        if (c.mayShorten) {
          EXPECT_EQ(kInstallDirValue.compare(0, value->data.size(), value->data), 0);
        } else {
          EXPECT_EQ(value->data, kInstallDirValue);
        }
      }
    }
  }
  RecordProperty("cuts", cuts);
}

// Thousands of keys and values full of escapes Wine never writes, unclosed
// quotes, NULs, stray backslashes and invalid UTF-8, around the game's key.
TEST(HostileRegistry, OddEscapesEverywhereNeverHideTheValue) {
  std::mt19937 random(20050101);
  const std::vector<std::string> pieces = {"\\x",
                                           "\\x0",
                                           "\\xFFFFF",
                                           "\\777",
                                           "\\0",
                                           "\\",
                                           "\\\\",
                                           "\\\"",
                                           "\"",
                                           "\\u1234",
                                           "\xFF",
                                           "\xC3",
                                           "\xED\xA0\x80",
                                           std::string(1, '\0'),
                                           "\\xd800",
                                           "]",
                                           "[",
                                           "\\n",
                                           "\r",
                                           "=",
                                           "hex(",
                                           ":",
                                           ",",
                                           "@",
                                           "#link",
                                           "\\e\\q",
                                           "\xE2\x82\xAC",
                                           "a",
                                           " "};
  auto junk = [&](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    return text;
  };
  std::string text = kRegistryHeader + "#arch=win64\n\n";
  for (int i = 0; i < 3000; ++i) {
    if (i == 1500) {
      text += kGameKey;
      // Value lines that are not the game's value, none starting a new key.
      for (int j = 0; j < 200; ++j) {
        std::string line = "\"" + junk(8) + "\"=" + junk(12);
        for (char& ch : line) {
          if (ch == '\n' || ch == '[') ch = '.';
        }
        text += line + "\n";
      }
      text += kInstallDirLine + "\n";
      // Later definitions that are malformed do not replace it.
      text += "\"Install Dir\"=\"unclosed\\\"\n";
      text += "\"Install Dir\"=dword:1234567890\n";
      text += "\"Install Dir\"=hex(1):4,00,\\\n";
      continue;
    }
    text += "[" + junk(10) + "] " + junk(3) + "\n";
    text += "\"" + junk(6) + "\"=\"" + junk(20) + "\"\n";
    text += junk(30) + "\n";
  }
  std::optional<RegistryValue> value =
      FindWineRegistryValue(text, kGameKeyPath, kInstallDirValueName);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, kRegSz);
  EXPECT_EQ(value->data, kInstallDirValue);
}

// --- install paths near and past the platform's limit

// A Windows folder of exactly `length` characters under C:, created on disk.
std::string FolderOfLength(const Prefix& prefix, std::size_t length) {
  std::string windows = "C:\\Games";
  while (windows.size() < length) {
    const std::size_t room = length - windows.size() - 1;
    if (room == 0) {
      windows += "x";  // no room for another separator and a name
      break;
    }
    windows += "\\" + std::string(std::min<std::size_t>(room, 200), 'd');
  }
  std::string unix = windows.substr(3);
  for (char& c : unix) {
    if (c == '\\') c = '/';
  }
  Prefix::Install(prefix.DriveC() / unix);
  return windows;
}

TEST(HostileInstallDir, PathsPastTheLimitAreNeverOpened) {
  const struct {
    std::size_t length;
    Lines switches;
    int code;
    bool scriptPatched, countryPatched;
  } cases[] = {
      // "\database\Country38.sav" is 23 characters: 236 + 23 = 259 still opens.
      {236, {"/s"}, kExitOk, true, true},
      // The backups' names are longer: no backup can be made, so no rewrite.
      {236, {"/s", "/b"}, kExitNotWritten, false, false},
      {237, {"/s"}, kExitNotWritten, true, false},
      {259, {"/s"}, kExitNotWritten, false, false},
      {260, {"/s", "/r"}, kExitNotWritten, false, false},
      {1000, {"/s", "/tp", "/r", "/b"}, kExitNotWritten, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " characters, " + std::to_string(c.switches.size()));
    Prefix prefix;
    const std::string installDir = FolderOfLength(prefix, c.length);
    ASSERT_EQ(installDir.size(), c.length);
    auto before = prefix.Snapshot();
    const Outcome outcome = RunOn(prefix, installDir, c.switches);
    EXPECT_EQ(outcome.code, c.code);
    auto after = prefix.Snapshot();
    ASSERT_EQ(after.size(), before.size()) << "a file was created or removed";
    int changed = 0;
    for (const auto& [name, content] : after) {
      if (content == before[name]) continue;
      ++changed;
      const bool script = name.ends_with("script/cupAlloc.txt");
      const bool country = name.ends_with("database/Country38.sav");
      EXPECT_TRUE((script && c.scriptPatched) || (country && c.countryPatched)) << name;
    }
    EXPECT_EQ(changed, int{c.scriptPatched} + int{c.countryPatched});
  }
}

// --- game files of extreme shapes

TEST(HostileGameFiles, ExtremeFilesEndInTheirDefinedOutcome) {
  const std::string longLine(50u << 20, '7');
  std::string emptyLines;
  for (int i = 0; i < 2'000'000; ++i) emptyLines += "\r\n";
  Lines rulesAfter(2'000'000, "");
  rulesAfter[30] = "2490379";
  rulesAfter[33] = "2490375";
  const std::string nul(1, '\0');
  const std::string odd = "x" + nul + "\xE7\xFF\x80\x81" + nul;

  const struct {
    const char* what;
    const char* file;  // relative to the game folder
    std::string content;
    Lines switches;
    int code;
    std::optional<std::string> after;  // absent: unchanged
  } cases[] = {
      {"empty cup script", "script/cupAlloc.txt", "", {}, kExitOk, "23\r\n" + Block(22)},
      {"empty country file", "database/Country38.sav", "", {}, kExitOk, std::nullopt},
      {"empty rules file", "database/Rules.sav", "", {"/r", "/b"}, kExitOk, std::nullopt},
      {"cup script of one 50 MB line",
       "script/cupAlloc.txt",
       longLine,
       {"/b"},
       kExitError,
       std::nullopt},
      {"country file of one 50 MB line",
       "database/Country38.sav",
       longLine,
       {"/td", "/b"},
       kExitOk,
       std::nullopt},
      {"rules file of one 50 MB line",
       "database/Rules.sav",
       longLine,
       {"/r"},
       kExitOk,
       std::nullopt},
      {"cup script of 2 million empty lines",
       "script/cupAlloc.txt",
       "3\r\n" + emptyLines,
       {},
       kExitOk,
       "4\r\n" + emptyLines + Block(3)},
      {"country file of 2 million empty lines",
       "database/Country38.sav",
       emptyLines,
       {"/td"},
       kExitOk,
       std::nullopt},
      {"rules file of 2 million empty lines",
       "database/Rules.sav",
       emptyLines,
       {"/r"},
       kExitOk,
       CrLf(rulesAfter)},
      {"cup script with NULs and high bytes",
       "script/cupAlloc.txt",
       "1\r\n" + odd + "\n" + nul + "\r\n\xFF",
       {},
       kExitOk,
       "2\r\n" + odd + "\r\n" + nul + "\r\n\xFF\r\n" + Block(1)},
      {"country file with NULs and high bytes",
       "database/Country38.sav",
       CrLf({odd, "%INDEX%COMPETITION", odd, "{ 0, FA_CUP " + odd + " }", odd, odd, "9", odd, odd,
             "%INDEXEND%COMP" + odd, odd}),
       {"/td"},
       kExitOk,
       CrLf({odd, "%INDEX%COMPETITION", "DB_CUP", "{ 0, FA_CUP " + odd + " }", odd, odd, "1", odd,
             "105,171,192,213,269,329", "%INDEXEND%COMP" + odd, odd})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Prefix prefix;
    const fsys::path game = prefix.DriveC() / "Games/TCM 2005";
    Prefix::Install(game);
    WriteAll(game / c.file, c.content);
    const Outcome outcome = RunOn(prefix, "C:\\Games\\TCM 2005", c.switches);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_LE(outcome.failureReport.size(), 1023u);
    const std::string now = ReadAll(game / c.file);
    if (c.after) {
      EXPECT_EQ(now.size(), c.after->size());
      EXPECT_TRUE(now == *c.after);
    } else {
      EXPECT_TRUE(now == c.content);
    }
    for (const auto& entry : fsys::recursive_directory_iterator(prefix.Root())) {
      EXPECT_EQ(entry.path().string().find(".corvaldo-"), std::string::npos) << entry.path();
    }
  }
}

// Entries back to back: the line before the second header is the first
// entry's end line, which must stay, or the walk of the next run would differ.
TEST(HostileGameFiles, EntryRightAfterAnotherKeepsTheEndLineBeforeIt) {
  const Lines entries = {"%INDEX%COMPETITION",
                         "x",
                         "{ 0, FA_CUP }",
                         "a",
                         "b",
                         "0",
                         "c",
                         "d",
                         "%INDEXEND%COMP",
                         "{ 1, FA_CUP }",
                         "a",
                         "b",
                         "0",
                         "c",
                         "d",
                         "%INDEXEND%COMP",
                         "%INDEXEND%COMPETITION"};
  const struct {
    Lines switches;
    Lines after;
  } cases[] = {
      {{"/tp"},
       {"%INDEX%COMPETITION", "DB_CUP", "{ 0, FA_CUP }", "a", "b", "22", "c", "d", "%INDEXEND%COMP",
        "{ 1, FA_CUP }", "a", "b", "0", "c", "d", "%INDEXEND%COMP", "%INDEXEND%COMPETITION"}},
      {{"/td"},
       {"%INDEX%COMPETITION", "DB_CUP", "{ 0, FA_CUP }", "a", "b", "1", "c",
        "105,171,192,213,269,329", "%INDEXEND%COMP", "{ 1, FA_CUP }", "a", "b", "0", "c", "d",
        "%INDEXEND%COMP", "%INDEXEND%COMPETITION"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.switches[0]);
    MemoryFileSystem fs;
    fs.AddFile(fakes::kScript, CrLf({"22", "; x", "%INDEX%CUP22", "FA", kPortugueseCupMarker}));
    fs.AddFile(fakes::kCountry, CrLf(entries));
    EXPECT_EQ(fakes::RunPatcher(fs, c.switches), kExitOk);
    EXPECT_EQ(fs.Content(fakes::kCountry), CrLf(c.after));
    EXPECT_EQ(fakes::RunPatcher(fs, c.switches), kExitOk);
    EXPECT_EQ(fs.Content(fakes::kCountry), CrLf(c.after));  // settled
  }
}

// --- symlinks that lead out of the prefix

TEST(HostileSymlinks, LinksAreFollowedAsWineWouldAndNeverCrash) {
  const std::string patchedScriptStart = "3\r\n; cups\r\n";
  const struct {
    const char* what;
    std::string installDir;
    Lines switches;
    // Builds the installation; `outside` is a folder beyond the prefix.
    std::function<void(const Prefix&, const fsys::path& outside)> build;
    int code;
    std::function<void(const Prefix&, const fsys::path& outside)> check;
  } cases[] = {
      {"game folder is a link out of the prefix",
       "C:\\Games\\TCM 2005",
       {"/b"},
       [](const Prefix& p, const fsys::path& outside) {
         Prefix::Install(outside / "game");
         fsys::create_directories(p.DriveC() / "Games");
         fsys::create_directory_symlink(outside / "game", p.DriveC() / "Games/TCM 2005");
       },
       kExitOk,
       [&](const Prefix& p, const fsys::path& outside) {
         EXPECT_TRUE(fsys::is_symlink(p.DriveC() / "Games/TCM 2005"));
         EXPECT_EQ(ReadAll(outside / "game/script/cupAlloc.txt").substr(0, 11), patchedScriptStart);
         EXPECT_EQ(ReadAll(outside / "game/script/cupAlloc.backup-original.txt"), Prefix::kScript);
       }},
      {"drive D: maps out of the prefix",
       "D:\\TCM",
       {},
       [](const Prefix& p, const fsys::path& outside) {
         Prefix::Install(outside / "d/TCM");
         fsys::create_directories(p.Root() / "dosdevices");
         fsys::create_directory_symlink(outside / "d", p.Root() / "dosdevices/d:");
       },
       kExitOk,
       [&](const Prefix&, const fsys::path& outside) {
         EXPECT_EQ(ReadAll(outside / "d/TCM/script/cupAlloc.txt").substr(0, 11),
                   patchedScriptStart);
       }},
      {"game file is a link out of the prefix",
       "C:\\Games\\TCM 2005",
       {"/td"},
       [](const Prefix& p, const fsys::path& outside) {
         Prefix::Install(p.DriveC() / "Games/TCM 2005");
         WriteAll(outside / "Country38.sav", Prefix::kCountry);
         fsys::remove(p.DriveC() / "Games/TCM 2005/database/Country38.sav");
         fsys::create_symlink(outside / "Country38.sav",
                              p.DriveC() / "Games/TCM 2005/database/Country38.sav");
       },
       kExitOk,
       [](const Prefix& p, const fsys::path& outside) {
         // Written through the link, which stays a link.
         EXPECT_TRUE(fsys::is_symlink(p.DriveC() / "Games/TCM 2005/database/Country38.sav"));
         EXPECT_NE(ReadAll(outside / "Country38.sav").find("DB_CUP"), std::string::npos);
       }},
      {"game folder is a link to itself",
       "C:\\Games\\TCM 2005",
       {"/b"},
       [](const Prefix& p, const fsys::path&) {
         fsys::create_directories(p.DriveC() / "Games");
         fsys::create_directory_symlink("TCM 2005", p.DriveC() / "Games/TCM 2005");
       },
       kExitNotWritten,
       [](const Prefix&, const fsys::path&) {}},
      {"cup script is a dangling link",
       "C:\\Games\\TCM 2005",
       {},
       [](const Prefix& p, const fsys::path& outside) {
         Prefix::Install(p.DriveC() / "Games/TCM 2005");
         fsys::remove(p.DriveC() / "Games/TCM 2005/script/cupAlloc.txt");
         fsys::create_symlink(outside / "nowhere.txt",
                              p.DriveC() / "Games/TCM 2005/script/cupAlloc.txt");
       },
       kExitNotWritten,
       [](const Prefix&, const fsys::path& outside) {
         EXPECT_FALSE(fsys::exists(outside / "nowhere.txt"));
       }},
      {"backup name is a link to a file out of the prefix",
       "C:\\Games\\TCM 2005",
       {"/b"},
       [](const Prefix& p, const fsys::path& outside) {
         Prefix::Install(p.DriveC() / "Games/TCM 2005");
         WriteAll(outside / "precious.txt", "precious\n");
         fsys::create_symlink(outside / "precious.txt",
                              p.DriveC() / "Games/TCM 2005/script/cupAlloc.backup-original.txt");
       },
       kExitOk,
       [&](const Prefix& p, const fsys::path& outside) {
         EXPECT_EQ(ReadAll(outside / "precious.txt"), "precious\n");
         EXPECT_EQ(ReadAll(p.DriveC() / "Games/TCM 2005/script/cupAlloc.txt").substr(0, 11),
                   patchedScriptStart);
       }},
      {"backup name is a dangling link",
       "C:\\Games\\TCM 2005",
       {"/b"},
       [](const Prefix& p, const fsys::path& outside) {
         Prefix::Install(p.DriveC() / "Games/TCM 2005");
         fsys::create_symlink(outside / "planted.txt",
                              p.DriveC() / "Games/TCM 2005/script/cupAlloc.backup-original.txt");
       },
       kExitNotWritten,
       [](const Prefix& p, const fsys::path& outside) {
         EXPECT_FALSE(fsys::exists(outside / "planted.txt"));
         EXPECT_EQ(ReadAll(p.DriveC() / "Games/TCM 2005/script/cupAlloc.txt"), Prefix::kScript);
       }},
      // No backup is there but a regular file: no rewrite without one.
      {"backup name is a folder",
       "C:\\Games\\TCM 2005",
       {"/b"},
       [](const Prefix& p, const fsys::path&) {
         Prefix::Install(p.DriveC() / "Games/TCM 2005");
         fsys::create_directory(p.DriveC() / "Games/TCM 2005/script/cupAlloc.backup-original.txt");
       },
       kExitNotWritten,
       [](const Prefix& p, const fsys::path&) {
         EXPECT_TRUE(
             fsys::is_directory(p.DriveC() / "Games/TCM 2005/script/cupAlloc.backup-original.txt"));
         EXPECT_EQ(ReadAll(p.DriveC() / "Games/TCM 2005/script/cupAlloc.txt"), Prefix::kScript);
       }},
      {"backup name is a FIFO",
       "C:\\Games\\TCM 2005",
       {"/td", "/b"},
       [](const Prefix& p, const fsys::path&) {
         Prefix::Install(p.DriveC() / "Games/TCM 2005");
         const fsys::path fifo =
             p.DriveC() / "Games/TCM 2005/database/Country38.backup-original.sav";
         ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
       },
       kExitNotWritten,
       [](const Prefix& p, const fsys::path&) {
         EXPECT_TRUE(
             fsys::is_fifo(p.DriveC() / "Games/TCM 2005/database/Country38.backup-original.sav"));
         EXPECT_EQ(ReadAll(p.DriveC() / "Games/TCM 2005/database/Country38.sav"), Prefix::kCountry);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Prefix prefix;
    Prefix outsideRoot;  // a second temporary folder stands for "elsewhere"
    c.build(prefix, outsideRoot.Root());
    const Outcome outcome = RunOn(prefix, c.installDir, c.switches);
    EXPECT_EQ(outcome.code, c.code);
    c.check(prefix, outsideRoot.Root());
  }
}

}  // namespace
}  // namespace corvaldo
