#include "patches/cup_script_patch.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "gamefiles/errors.h"
#include "test_support.h"
#include "text/text_helpers.h"

namespace corvaldo {
namespace {

using fakes::CrLf;
using fakes::kScript;
using fakes::kScriptBackup;
using V = std::vector<std::string>;

struct Outcome {
  std::int32_t cupIndex;
  std::optional<std::string> script;
  std::optional<std::string> backup;
  bool cupInScript;
};

Outcome Patch(MemoryFileSystem& fs, bool backups = false) {
  RunOptions options;
  options.PatchCupScript = true;
  options.MakeBackups = backups;
  PatchState state(options, fs);
  state.InstallDir = fakes::kDir;
  ApplyCupScriptPatch(state);
  return {state.CupIndex, fs.Content(kScript), fs.Content(kScriptBackup), state.cupInScript};
}

Outcome Patch(const std::string& script, bool backups = false) {
  MemoryFileSystem fs;
  fs.AddFile(kScript, script);
  return Patch(fs, backups);
}

std::string Block(std::int32_t index) {
  std::string text;
  for (const auto& line : PortugueseCupBlock(index)) text += line + "\r\n";
  return text;
}

TEST(CupScriptBlock, HasTheFixedShape) {
  const auto block = PortugueseCupBlock(31);
  EXPECT_EQ(block[0], "; " + std::string(46, '-'));
  EXPECT_EQ(block[1].rfind("; FA Cup Portugal - ", 0), 0u);
  EXPECT_EQ(block[2], block[0]);
  EXPECT_EQ(block[3], "%INDEX%CUP31");
  EXPECT_EQ(block[5], "_ID_FACUP_PORTUGAL");
  EXPECT_EQ(block[18], "GET_TAB_X_TO_Y,\t\t\t{ 0, LEAGUE, 0 }");
  EXPECT_EQ(block[18].size(), 34u);
  EXPECT_EQ(block[34], "%INDEXEND%CUP31");
  // The round lines must satisfy the tournament arithmetic.
  int previousTeams = 0, previousEnd = 0;
  for (int i = 9; i <= 16; ++i) {
    int f[6];
    ASSERT_EQ(std::sscanf(block[i].c_str(), "{ %d, %d, %d, %d, %d, %d,", &f[0], &f[1], &f[2], &f[3],
                          &f[4], &f[5]),
              6);
    EXPECT_EQ(f[0], i - 9);
    EXPECT_EQ(f[1], 8);
    EXPECT_EQ(f[5] - f[4], f[2] / 2) << block[i];
    if (i > 9) {
      EXPECT_EQ(f[4], previousEnd) << block[i];
      EXPECT_EQ(f[2], previousTeams / 2 + f[3]) << block[i];
    }
    previousTeams = f[2];
    previousEnd = f[5];
  }
  for (const auto& line : block) EXPECT_EQ(line, std::string(TrimBlanks(line)) + "");
}

TEST(CupScriptPatch, FindsThePresentCupAndWritesNothing) {
  const std::string script =
      CrLf({"31", "; comment", "%INDEX%CUP24", "FA", "_ID_FACUP_PORTUGAL", "0", "%INDEXEND%CUP24"});
  const Outcome o = Patch(script, true);
  EXPECT_EQ(o.cupIndex, 24);
  EXPECT_EQ(o.script, script);
  EXPECT_FALSE(o.backup);
  EXPECT_TRUE(o.cupInScript);
}

TEST(CupScriptPatch, AppendsTheCupAndRaisesTheCount) {
  const Outcome first = Patch("31\nline two\r\n\r\nlast");
  EXPECT_EQ(first.cupIndex, 31);
  EXPECT_EQ(first.script, CrLf({"32", "line two", "", "last"}) + Block(31));
  EXPECT_TRUE(first.cupInScript);
  // A second run finds the appended block.
  const Outcome second = Patch(*first.script);
  EXPECT_EQ(second.cupIndex, 31);
  EXPECT_EQ(second.script, first.script);
}

TEST(CupScriptPatch, CountLineAndIndexLineForms) {
  const struct {
    std::string script;
    std::int32_t cupIndex;
    std::optional<std::string> written;
  } cases[] = {
      {"", 22, "23\r\n" + Block(22)},
      {"0\r\n", 0, "1\r\n" + Block(0)},
      {" 12\r\n", 12, "13\r\n" + Block(12)},
      {"$10\r\n", 16, "17\r\n" + Block(16)},
      {CrLf({"5", "%INDEX%CUP7", "FA", "_ID_FACUP_PORTUGAL"}), 7, std::nullopt},
      {CrLf({"5", "%INDEX%CUP123", "FA", "_ID_FACUP_PORTUGAL"}), 12, std::nullopt},
      {CrLf({"5", "%INDEX%CUP3", "x", "_ID_FACUP_PORTUGAL", "%INDEX%CUP40", "y",
             "_ID_FACUP_PORTUGAL"}),
       40, std::nullopt},
      {CrLf({"5", "%INDEX%CUP1", "FA", "_ID_FACUP_PORTUGAL "}), 5,
       CrLf({"6", "%INDEX%CUP1", "FA", "_ID_FACUP_PORTUGAL "}) + Block(5)},
      {CrLf({"5", "%INDEX%CUP1", "FA", "_id_facup_portugal"}), 5,
       CrLf({"6", "%INDEX%CUP1", "FA", "_id_facup_portugal"}) + Block(5)},
  };
  for (const auto& c : cases) {
    const Outcome o = Patch(c.script);
    EXPECT_EQ(o.cupIndex, c.cupIndex) << c.script;
    EXPECT_EQ(o.script, c.written ? c.written : c.script) << c.script;
  }
}

TEST(CupScriptPatch, BadNumbersAndEarlyMarkersEndTheRunUnwritten) {
  const struct {
    std::string script;
    std::string message;
  } cases[] = {
      {"12 \r\n", "'12 ' is not a valid integer value"},
      {"\r\n", "'' is not a valid integer value"},
      {"_ID_FACUP_PORTUGAL\r\n", "'_ID_FACUP_PORTUGAL' is not a valid integer value"},
      {CrLf({"5", "%INDEX%CUP7 ", "FA", "_ID_FACUP_PORTUGAL"}),
       "'7 ' is not a valid integer value"},
      {CrLf({"5", "%INDEX%CU", "FA", "_ID_FACUP_PORTUGAL"}), "'' is not a valid integer value"},
      {CrLf({"5", "_ID_FACUP_PORTUGAL"}), "List index out of bounds (-2)"},
      {CrLf({"5", "x", "_ID_FACUP_PORTUGAL"}), "List index out of bounds (-1)"},
  };
  for (const auto& c : cases) {
    MemoryFileSystem fs;
    fs.AddFile(kScript, c.script);
    try {
      Patch(fs, true);
      ADD_FAILURE() << c.script;
    } catch (const EError& error) {
      EXPECT_EQ(error.Message(), c.message);
    }
    EXPECT_EQ(fs.Content(kScript), c.script);
    EXPECT_FALSE(fs.Content(kScriptBackup));
  }
}

TEST(CupScriptPatch, BacksUpOnceAndOnlyWhenRewriting) {
  MemoryFileSystem fs;
  fs.AddFile(kScript, "3\r\n");
  fs.AddFile(kScriptBackup, "older backup");
  const Outcome o = Patch(fs, true);
  EXPECT_EQ(o.backup, "older backup");
  EXPECT_EQ(o.script, "4\r\n" + Block(3));

  MemoryFileSystem fresh;
  fresh.AddFile(kScript, "3\n");
  EXPECT_EQ(Patch(fresh, true).backup, "3\n");
}

TEST(CupScriptPatch, MissingScriptIsCreatedAfresh) {
  MemoryFileSystem fs;
  fs.AddFolder(std::string(fakes::kDir) + "\\script");
  const Outcome o = Patch(fs, true);
  EXPECT_EQ(o.script, "23\r\n" + Block(22));
  EXPECT_FALSE(o.backup);
  EXPECT_TRUE(o.cupInScript);
}

}  // namespace
}  // namespace corvaldo
