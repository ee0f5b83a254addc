#include "wine/wine_prefix.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "wine/system_reg.h"

namespace corvaldo {
namespace {

TEST(WinePrefixPathTest, PrefersWineprefixOverHome) {
  const char* savedPrefix = getenv("WINEPREFIX");
  const std::string saved = savedPrefix ? savedPrefix : "";
  setenv("HOME", getenv("HOME") ? getenv("HOME") : "/root", 1);
  const std::string home = getenv("HOME");
  setenv("WINEPREFIX", "/opt/prefix", 1);
  EXPECT_EQ(WinePrefixPath(), "/opt/prefix");
  setenv("WINEPREFIX", "", 1);
  EXPECT_EQ(WinePrefixPath(), home + "/.wine");
  unsetenv("WINEPREFIX");
  EXPECT_EQ(WinePrefixPath(), home + "/.wine");
  if (savedPrefix) setenv("WINEPREFIX", saved.c_str(), 1);
}

// ---------------------------------------------------------------------------
// The search of the launchers' places, over a home folder made for each case.

namespace fsys = std::filesystem;

const std::string kGameValue = R"("Install Dir"="C:\\Games\\TCM 2005\\")";

std::string SystemReg(const std::string& valueLine) {
  return "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
         "[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005] 1700000000\n" +
         valueLine + "\n";
}

class FakeHome {
 public:
  FakeHome() {
    char pattern[] = "/tmp/corvaldo-home-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  ~FakeHome() {
    std::error_code ignored;
    for (const auto& entry : fsys::recursive_directory_iterator(root_, ignored)) {
      if (!entry.is_symlink()) fsys::permissions(entry.path(), fsys::perms::owner_all, ignored);
    }
    fsys::remove_all(root_, ignored);
  }
  const std::string& Root() const { return root_; }

  void File(const std::string& relative, const std::string& bytes) const {
    fsys::create_directories(fsys::path(root_ + "/" + relative).parent_path());
    std::ofstream(root_ + "/" + relative, std::ios::binary) << bytes;
  }
  // A prefix (a folder with a system.reg) whose game key holds `valueLine`.
  void Prefix(const std::string& relative, const std::string& valueLine = kGameValue) const {
    File(relative + "/system.reg", SystemReg(valueLine));
  }
  void Link(const std::string& relative, const std::string& target) const {
    fsys::create_directories(fsys::path(root_ + "/" + relative).parent_path());
    fsys::create_symlink(target, root_ + "/" + relative);
  }

 private:
  std::string root_;
};

// What the search found, as "path below home (launcher)".
std::vector<std::string> Found(const FakeHome& home, const std::string& dataHome = "") {
  std::vector<std::string> found;
  for (const FoundPrefix& prefix : FindGamePrefixes({home.Root(), dataHome})) {
    found.push_back(prefix.path.substr(home.Root().size() + 1) + " (" + prefix.launcher + ")");
  }
  return found;
}

using Build = std::function<void(const FakeHome&)>;
using Names = std::vector<std::string>;

TEST(FindGamePrefixesTest, FindsTheGameInEachLaunchersDefaultPlace) {
  const struct {
    const char* what;
    Build build;
    Names expected;
  } cases[] = {
      {"nothing there", [](const FakeHome&) {}, {}},
      {"Wine", [](const FakeHome& h) { h.Prefix(".wine"); }, {".wine (Wine)"}},
      {"Lutris",
       [](const FakeHome& h) { h.Prefix("Games/tcm-2005"); },
       {"Games/tcm-2005 (Lutris)"}},
      {"Bottles",
       [](const FakeHome& h) { h.Prefix(".local/share/bottles/bottles/TCM"); },
       {".local/share/bottles/bottles/TCM (Bottles)"}},
      {"Bottles, Flatpak",
       [](const FakeHome& h) {
         h.Prefix(".var/app/com.usebottles.bottles/data/bottles/bottles/T");
       },
       {".var/app/com.usebottles.bottles/data/bottles/bottles/T (Bottles (Flatpak))"}},
      {"PlayOnLinux",
       [](const FakeHome& h) { h.Prefix(".PlayOnLinux/wineprefix/TCM"); },
       {".PlayOnLinux/wineprefix/TCM (PlayOnLinux)"}},
      {"Phoenicis",
       [](const FakeHome& h) { h.Prefix(".Phoenicis/containers/wineprefix/TCM"); },
       {".Phoenicis/containers/wineprefix/TCM (Phoenicis)"}},
      {"Phoenicis, Flatpak",
       [](const FakeHome& h) {
         h.Prefix(".var/app/org.phoenicis.playonlinux/.Phoenicis/containers/wineprefix/TCM");
       },
       {".var/app/org.phoenicis.playonlinux/.Phoenicis/containers/wineprefix/TCM (Phoenicis "
        "(Flatpak))"}},
      {"Heroic, Wine prefix",
       [](const FakeHome& h) { h.Prefix("Games/Heroic/Prefixes/default/T"); },
       {"Games/Heroic/Prefixes/default/T (Heroic)"}},
      {"Heroic, Proton prefix",
       [](const FakeHome& h) { h.Prefix("Games/Heroic/Prefixes/default/T/pfx"); },
       {"Games/Heroic/Prefixes/default/T/pfx (Heroic)"}},
      {"Heroic, older releases",
       [](const FakeHome& h) { h.Prefix("Games/Heroic/Prefixes/T"); },
       {"Games/Heroic/Prefixes/T (Heroic)"}},
      {"CrossOver",
       [](const FakeHome& h) { h.Prefix(".cxoffice/TCM 2005"); },
       {".cxoffice/TCM 2005 (CrossOver)"}},
      {"Steam",
       [](const FakeHome& h) { h.Prefix(".local/share/Steam/steamapps/compatdata/7/pfx"); },
       {".local/share/Steam/steamapps/compatdata/7/pfx (Steam)"}},
      {"Steam reached through ~/.steam/steam counts once",
       [](const FakeHome& h) {
         h.Prefix(".local/share/Steam/steamapps/compatdata/7/pfx");
         h.Link(".steam/steam", "../.local/share/Steam");
       },
       {".local/share/Steam/steamapps/compatdata/7/pfx (Steam)"}},
      {"Steam, Flatpak",
       [](const FakeHome& h) {
         h.Prefix(".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata/7/pfx");
       },
       {".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata/7/pfx (Steam)"}},
      {"Steam library listed in libraryfolders.vdf",
       [](const FakeHome& h) {
         h.File(".local/share/Steam/steamapps/libraryfolders.vdf",
                "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + h.Root() +
                    "/.local/share/Steam\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + h.Root() +
                    "/disk2/SteamLibrary\"\n\t}\n}\n");
         h.Prefix("disk2/SteamLibrary/steamapps/compatdata/7/pfx");
       },
       {"disk2/SteamLibrary/steamapps/compatdata/7/pfx (Steam)"}},
      {"several, by place, then by name",
       [](const FakeHome& h) {
         h.Prefix(".cxoffice/b");
         h.Prefix("Games/z");
         h.Prefix("Games/a");
         h.Prefix(".wine");
       },
       {".wine (Wine)", "Games/a (Lutris)", "Games/z (Lutris)", ".cxoffice/b (CrossOver)"}},
      {"a place that is a link is followed",
       [](const FakeHome& h) {
         h.Prefix("elsewhere/tcm");
         h.Link(".wine", "elsewhere/tcm");
       },
       {".wine (Wine)"}},
      {"a folder that is the place of two layouts is searched in each",
       [](const FakeHome& h) {
         h.Prefix("Games/Heroic/Prefixes/default/T/pfx");
         h.Link(".local/share/bottles/bottles", "../../../Games/Heroic/Prefixes/default");
       },
       {"Games/Heroic/Prefixes/default/T/pfx (Heroic)"}},
      {"a value that is not text counts: the run reports it",
       [](const FakeHome& h) { h.Prefix(".wine", R"("Install Dir"=dword:00000001)"); },
       {".wine (Wine)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHome home;
    c.build(home);
    EXPECT_EQ(Found(home), c.expected);
  }
}

TEST(FindGamePrefixesTest, HonoursXdgDataHomeForBottles) {
  FakeHome home;
  home.Prefix("data/bottles/bottles/TCM");
  EXPECT_EQ(Found(home, home.Root() + "/data"), Names{"data/bottles/bottles/TCM (Bottles)"});
  EXPECT_EQ(Found(home), Names{});
  EXPECT_EQ(Found(home, "data"), Names{});  // a relative XDG_DATA_HOME is ignored
}

TEST(FindGamePrefixesTest, SkipsWhatIsNotAReadablePrefixWithTheGame) {
  const struct {
    const char* what;
    Build build;
  } cases[] = {
      {"other software only",
       [](const FakeHome& h) {
         h.File(".wine/system.reg",
                "WINE REGISTRY Version 2\n\n[Software\\\\Other] 1\n\"a\"=\"b\"\n");
       }},
      {"blank Install Dir", [](const FakeHome& h) { h.Prefix(".wine", R"("Install Dir"="  ")"); }},
      {"empty Install Dir",
       [](const FakeHome& h) { h.Prefix(".wine", R"("Install Dir"=hex(1):)"); }},
      {"not a Wine registry",
       [](const FakeHome& h) { h.File(".wine/system.reg", "REGEDIT4\n" + SystemReg(kGameValue)); }},
      {"cut before the value ends",
       [](const FakeHome& h) {
         const std::string text = SystemReg(kGameValue);
         h.File(".wine/system.reg", text.substr(0, text.size() - 3));
       }},
      {"over the size cap",
       [](const FakeHome& h) {
         h.Prefix(".wine");
         fsys::resize_file(h.Root() + "/.wine/system.reg", kMaxRegistryFileSize + 1);  // sparse
       }},
      {"a FIFO, which must not block",
       [](const FakeHome& h) {
         fsys::create_directories(h.Root() + "/.wine");
         ASSERT_EQ(mkfifo((h.Root() + "/.wine/system.reg").c_str(), 0600), 0);
       }},
      {"a folder",
       [](const FakeHome& h) { fsys::create_directories(h.Root() + "/.wine/system.reg"); }},
      {"a link to a good one",
       [](const FakeHome& h) {
         h.Prefix("elsewhere");
         h.Link("Games/tcm/system.reg", h.Root() + "/elsewhere/system.reg");
       }},
      {"a link loop", [](const FakeHome& h) { h.Link(".wine/system.reg", "system.reg"); }},
      {"a prefix folder that links out of the place",
       [](const FakeHome& h) {
         h.Prefix("elsewhere/tcm");
         h.Link("Games/tcm", h.Root() + "/elsewhere/tcm");
       }},
      {"a prefix folder that links to itself",
       [](const FakeHome& h) { h.Link("Games/tcm", "tcm"); }},
      {"deeper than the layout",
       [](const FakeHome& h) {
         h.Prefix("Games/collection/tcm");
         h.Prefix(".local/share/Steam/steamapps/compatdata/7");  // Proton's is in pfx/
         h.Prefix(".local/share/Steam/steamapps/compatdata/7/pfx/x");
       }},
      {"outside every place", [](const FakeHome& h) { h.Prefix("Documents/tcm"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHome home;
    c.build(home);
    EXPECT_EQ(Found(home), Names{});
  }
}

TEST(FindGamePrefixesTest, SkipsAPrefixItCannotRead) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  FakeHome home;
  home.Prefix("Games/locked");
  home.Prefix("Games/open");
  fsys::permissions(home.Root() + "/Games/locked", fsys::perms::none);
  EXPECT_EQ(Found(home), Names{"Games/open (Lutris)"});
}

TEST(FindGamePrefixesTest, HandsOnTheValueItRead) {
  FakeHome home;
  home.Prefix(".wine", R"("Install Dir"=str(2):"D:\\Jogos\\TCM")");
  const std::vector<FoundPrefix> found = FindGamePrefixes({home.Root(), ""});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path, home.Root() + "/.wine");
  EXPECT_EQ(found[0].installDir.type, kRegExpandSz);
  EXPECT_EQ(found[0].installDir.data, std::string("D:\\Jogos\\TCM", 12) + '\0');
  EXPECT_TRUE(FindGamePrefixes({"", ""}).empty());
  EXPECT_TRUE(FindGamePrefixes({"relative/home", ""}).empty());
}

TEST(SteamLibraryFoldersTest, ReadsThePathsOfLibraryfoldersVdf) {
  std::string many = "\"libraryfolders\" {";
  for (int i = 0; i < 40; ++i)
    many += " \"" + std::to_string(i) + "\" { \"path\" \"/l" + std::to_string(i) + "\" }";
  many += " }";
  const struct {
    const char* what;
    std::string vdf;
    Names expected;
  } cases[] = {
      {"as Steam writes it",
       "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/u/.local/share/Steam\"\n"
       "\t\t\"label\"\t\t\"\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"1\"\n\t\t}\n\t}\n"
       "\t\"1\"\n\t{\n\t\t\"path\"\t\t\"/mnt/games/SteamLibrary\"\n\t}\n}\n",
       {"/home/u/.local/share/Steam", "/mnt/games/SteamLibrary"}},
      {"escapes, comments and the key in capitals",
       "// a comment \"path\" \"/not\"\n\"x\" { \"PATH\" \"/a \\\"b\\\" \\\\c\" }",
       {"/a \"b\" \\c"}},
      {"\"path\" as a value or a relative path is not a library",
       "\"x\" { \"label\" \"path\" \"k\" \"/not\" \"path\" \"relative/lib\" }",
       {}},
      {"an unclosed quote ends the file", "\"x\" { \"path\" \"/a\" \"path\" \"/b", {"/a"}},
      {"at most sixteen",
       many,
       {"/l0", "/l1", "/l2", "/l3", "/l4", "/l5", "/l6", "/l7", "/l8", "/l9", "/l10", "/l11",
        "/l12", "/l13", "/l14", "/l15"}},
      {"empty", "", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SteamLibraryFolders(c.vdf), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace corvaldo
