#include "gamefiles/windows_names.h"

#include <gtest/gtest.h>

#include "gamefiles/file_system.h"

namespace corvaldo {
namespace {

TEST(WindowsNames, FolderOfKeepsTheSeparatorAndDriveRelativeNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\TCM\\script\\cupAlloc.txt", "C:\\TCM\\script\\"},
      {"\\script\\cupAlloc.txt", "\\script\\"},
      {"C:cupAlloc.txt", "C:"},
      {"cupAlloc.txt", ""},
      {"C:\\TCM/script/x", "C:\\TCM/script/"},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(FolderOf(path), folder) << path;
}

TEST(WindowsNames, TheListedNameReplacesOnlyTheLastComponentAndOnlyWhereItFits) {
  const std::string folder = "C:\\Games\\tcm 2005\\Script\\";
  struct Case {
    std::string path;
    std::string found;
    std::string expected;
  };
  const std::string deep = "C:\\" + std::string(kMaxPathLength - 3 - 13, 'd') + "\\";
  const Case cases[] = {
      {folder + "cupAlloc.txt", "CUPALLOC.TXT", folder + "CUPALLOC.TXT"},
      {folder + "CUPALL~1.TXT", "cupAlloc.txt", folder + "cupAlloc.txt"},  // a short name
      {folder + "cupAlloc.txt", "", folder + "cupAlloc.txt"},
      {deep + "Rules.sav", "RULES.SAV", deep + "RULES.SAV"},
      {deep + "COUNTR~1.SAV", "Country38.sav.x", deep + "COUNTR~1.SAV"},  // would not fit
  };
  for (const Case& c : cases) EXPECT_EQ(WithListedName(c.path, c.found), c.expected) << c.found;
}

TEST(WindowsNames, TemporaryNamesFitEveryFolderAndReadBackAsAPair) {
  struct Case {
    std::size_t folderLength;
    std::string fresh;  // the name in the folder, "" when none fits
  };
  const Case cases[] = {
      {20, "Country38.sav.corvaldo-N00C0FFEE"},
      {kMaxPathLength - 32, "Country38.sav.corvaldo-N00C0FFEE"},  // just fits
      {kMaxPathLength - 31, "~scvN00C0FFEE"},
      {kMaxPathLength - 10, "~scvN00C0F"},  // deep folders: fewer digits
      {kMaxPathLength - 6, "~scvN0"},
      {kMaxPathLength - 5, ""},
  };
  for (const Case& c : cases) {
    const std::string folder = "C:\\" + std::string(c.folderLength - 4, 'f') + "\\";
    ASSERT_EQ(folder.size(), c.folderLength);
    const TempNames names = TempNamesFor(folder, "Country38.sav", 0xC0FFEE);
    if (c.fresh.empty()) {
      EXPECT_TRUE(names.fresh.empty() && names.old.empty()) << c.folderLength;
      continue;
    }
    EXPECT_EQ(names.fresh, folder + c.fresh);
    EXPECT_LE(names.old.size(), kMaxPathLength);
    const auto fresh = ParseTempName(names.fresh.substr(folder.size()));
    const auto old = ParseTempName(names.old.substr(folder.size()));
    ASSERT_TRUE(fresh && old) << names.fresh << " " << names.old;
    EXPECT_FALSE(fresh->old);
    EXPECT_TRUE(old->old);
    EXPECT_EQ(fresh->key, old->key);
    EXPECT_EQ(fresh->target, c.fresh.starts_with("~") ? "" : "Country38.sav");
  }
}

TEST(WindowsNames, OnlyOurOwnNamesAreTakenForTemporaries) {
  struct Case {
    const char* name;
    bool ours;
    bool old;
  };
  const Case cases[] = {
      {"cupAlloc.txt.corvaldo-N0123ABCD", true, false},
      {"cupAlloc.txt.corvaldo-O0123ABCD", true, true},
      {"~scvN1", true, false},
      {"~scvOFFFFFFFF", true, true},
      {"~scv0123ABCD.tmp", true, false},  // earlier versions
      {"~scvb0123ABCD.tmp", true, true},
      {"cupAlloc.txt", false, false},
      {"cupAlloc.txt.corvaldo-N0123abcd", false, false},
      {"cupAlloc.txt.corvaldo-X0123ABCD", false, false},
      {"cupAlloc.txt.corvaldo-N0123ABC", false, false},
      {"cupAlloc.txt.corvaldo-N0123ABCDE", false, false},
      {".corvaldo-N0123ABCD", false, false},
      {"cupAlloc.txt.CORVALDO-N0123ABCD", false, false},
      {"~scvN", false, false},
      {"~scvN123456789", false, false},
      {"~scvn12", false, false},
      {"~SCVN12", false, false},
      {"~scv0123ABCD.TMP", false, false},
      {"~scv0123ABC.tmp", false, false},
      {"~scvB0123ABCD.tmp", false, false},
      {"~1", false, false},
      {"~DF1234.tmp", false, false},
  };
  for (const Case& c : cases) {
    const std::optional<TempName> name = ParseTempName(c.name);
    EXPECT_EQ(name.has_value(), c.ours) << c.name;
    if (name && c.ours) {
      EXPECT_EQ(name->old, c.old) << c.name;
    }
  }
}

}  // namespace
}  // namespace corvaldo
