#include "wine/wine_path.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace corvaldo {
namespace {

namespace fs = std::filesystem;

class TempPrefix : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvaldo-prefix-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    prefix_ = pattern;
  }
  void TearDown() override { fs::remove_all(prefix_); }

  void MakeFile(const std::string& relative) {
    fs::create_directories(fs::path(prefix_ + "/" + relative).parent_path());
    std::ofstream(prefix_ + "/" + relative) << "x";
  }

  std::string prefix_;
};

using MapWindowsPathTest = TempPrefix;

const std::string kGameFolder = "Jogos Futebol \xC3\xA7 \xC3\xA3";  // as Wine names it (UTF-8)

TEST_F(MapWindowsPathTest, MapsDrivesAndMatchesNamesLikeWine) {
  MakeFile("drive_c/" + kGameFolder + "/script/cupAlloc.txt");
  MakeFile("d_drive/Data/File.TXT");
  // Several spellings side by side, as a case-sensitive file system allows:
  // the one spelled exactly wins wherever the folder lists it.
  for (const char* name : {"TWICE.TXT", "Twice.txt", "twice.txt"})
    MakeFile("d_drive/Data/" + std::string(name));
  fs::create_directories(prefix_ + "/dosdevices");
  fs::create_directory_symlink("../drive_c", prefix_ + "/dosdevices/c:");
  fs::create_directory_symlink("../d_drive", prefix_ + "/dosdevices/d:");
  const std::string script = prefix_ + "/dosdevices/c:/" + kGameFolder + "/script/cupAlloc.txt";

  struct Case {
    const char* path;
    bool forCreate;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"C:\\Jogos Futebol \xE7 \xE3\\script\\cupAlloc.txt", false, script},
      {"c:\\JOGOS FUTEBOL \xC7 \xC3\\SCRIPT\\CUPALLOC.TXT", false, script},
      {"\\Jogos Futebol \xE7 \xE3\\script\\cupAlloc.txt", false, script},
      {"C:/Jogos Futebol \xE7 \xE3/script/cupAlloc.txt", false, script},
      {"C:\\Jogos Futebol \xE7 \xE3\\\\script\\.\\..\\script\\cupAlloc.txt", false, script},
      {"C:\\..\\Jogos Futebol \xE7 \xE3\\script\\cupAlloc.txt. .", false, script},
      {"C:\\Jogos Futebol \xE7 \xE3\\script\\cupAlloc.txt", true, script},
      {"d:\\data\\file.txt", false, prefix_ + "/dosdevices/d:/Data/File.TXT"},
      {"D:\\Data\\TWICE.TXT", false, prefix_ + "/dosdevices/d:/Data/TWICE.TXT"},
      {"D:\\Data\\Twice.txt", false, prefix_ + "/dosdevices/d:/Data/Twice.txt"},
      {"D:\\Data\\twice.txt", true, prefix_ + "/dosdevices/d:/Data/twice.txt"},
      {"C:\\Jogos Futebol \xE7 \xE3\\script\\novo \xE7.txt", false, std::nullopt},
      {"C:\\Jogos Futebol \xE7 \xE3\\script\\novo \xE7.txt", true,
       prefix_ + "/dosdevices/c:/" + kGameFolder + "/script/novo \xC3\xA7.txt"},
      {"C:\\Jogos Futebol \xE7 \xE3\\nowhere\\cupAlloc.txt", true, std::nullopt},
      {"C:\\Jogos Futebol \xE7 \xE3\\script\\cupAlloc.txt\\x", true, std::nullopt},
      {"C:\\", false, prefix_ + "/dosdevices/c:"},
      {"C:\\", true, std::nullopt},
      {"E:\\x", true, std::nullopt},
      {"\\\\server\\share\\cupAlloc.txt", false, std::nullopt},
      {"\\\\?\\C:\\x", false, std::nullopt},
      {"script\\cupAlloc.txt", false, std::nullopt},
      {" C:\\x", false, std::nullopt},
      {"C:script\\cupAlloc.txt", false, std::nullopt},
      {"C:", false, std::nullopt},
      {"", false, std::nullopt},
      {"C:\\a*b", true, std::nullopt},
      {"C:\\a:b", true, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MapWindowsPath(prefix_, c.path, c.forCreate), c.expected)
        << c.path << (c.forCreate ? " (create)" : "");
  }
}

TEST_F(MapWindowsPathTest, FallsBackToDriveCOnlyForC) {
  MakeFile("drive_c/Game/a.txt");
  EXPECT_EQ(MapWindowsPath(prefix_, "C:\\game\\A.TXT", false), prefix_ + "/drive_c/Game/a.txt");
  EXPECT_EQ(MapWindowsPath(prefix_, "D:\\game\\A.TXT", false), std::nullopt);
  EXPECT_EQ(MapWindowsPath("", "C:\\game\\A.TXT", false), std::nullopt);
}

TEST_F(MapWindowsPathTest, RefusesPathsLongerThan259Characters) {
  const std::string folder(100, 'f');
  const std::string file259(259 - 3 - 100 - 1, 'n');  // C:\ folder \ file
  const std::string file260 = file259 + "n";
  MakeFile("drive_c/" + folder + "/" + file259);
  MakeFile("drive_c/" + folder + "/" + file260);
  const std::string path259 = "C:\\" + folder + "\\" + file259;
  ASSERT_EQ(path259.size(), 259u);
  EXPECT_EQ(MapWindowsPath(prefix_, path259, false),
            prefix_ + "/drive_c/" + folder + "/" + file259);
  EXPECT_EQ(MapWindowsPath(prefix_, path259 + "n", false), std::nullopt);
  EXPECT_EQ(MapWindowsPath(prefix_, path259 + "n", true), std::nullopt);
}

}  // namespace
}  // namespace corvaldo
