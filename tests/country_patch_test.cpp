#include "patches/country_patch.h"

#include <gtest/gtest.h>

#include "gamefiles/errors.h"
#include "test_support.h"

namespace corvaldo {
namespace {

using fakes::CrLf;
using fakes::kCountry;
using fakes::kCountryBackup;
using V = std::vector<std::string>;

// A country file with a league entry and one FA_CUP entry whose header is
// line 7: h-1 is line 6, the cup number line 10, the number list line 12.
V CountryLines(const std::string& before, const std::string& cup, const std::string& list) {
  return {"; Portugal",
          "%INDEX%COMPETITION",
          "DB_LEAGUE",
          "{ 0, LEAGUE, ID_LIGA }",
          "5",
          "%INDEXEND%COMP",
          before,
          "{ 1, FA_CUP, ID_TACA }",
          "ROUND",
          "x",
          cup,
          "y",
          list,
          "%INDEXEND%COMP",
          "%INDEXEND%COMPETITION",
          "trailer"};
}

struct Result {
  V lines;
  bool rewritten;
};

Result Patch(const V& lines, bool cupForm, std::int32_t cupIndex = 22,
             std::string* backup = nullptr) {
  MemoryFileSystem fs;
  const std::string original = CrLf(lines);
  fs.AddFile(kCountry, original);
  RunOptions options;
  options.PatchCupScript = cupForm;
  options.PatchCountryDefault = !cupForm;
  options.MakeBackups = backup != nullptr;
  if (backup && !backup->empty()) fs.AddFile(kCountryBackup, *backup);
  PatchState state(options, fs);
  state.InstallDir = fakes::kDir;
  state.CupIndex = cupIndex;
  state.lines.Add("left over from the cup script");
  ApplyCountryPatch(state);
  if (backup) *backup = fs.Content(kCountryBackup).value_or("");
  const std::string after = *fs.Content(kCountry);
  V result;
  std::size_t start = 0;
  for (std::size_t end; (end = after.find("\r\n", start)) != std::string::npos; start = end + 2) {
    result.push_back(after.substr(start, end - start));
  }
  return {result, after != original};
}

TEST(CountryPatch, CupIndexFormJudgesTheEntry) {
  const struct {
    std::string before, cup;
    std::int32_t cupIndex;
    bool rewritten;
  } cases[] = {
      {"DB_CUP", "22", 22, false},
      {"DB_CUP", "22 ", 22, true},
      {"DB_CUP", "022", 22, true},
      {"DB_CUP", "5", 22, true},
      {"SOMETHING", "31", 31, false},  // any non-blank line before the
                                       // header is in order
      {"", "22", 22, true},
      {"  \t", "31", 31, true},
      {"DB_CUP", "-3", -3, false},
  };
  for (const auto& c : cases) {
    const V input = CountryLines(c.before, c.cup, "9,9");
    const Result r = Patch(input, true, c.cupIndex);
    EXPECT_EQ(r.rewritten, c.rewritten) << c.before << "|" << c.cup;
    V expected = input;
    if (c.rewritten) {
      expected[6] = "DB_CUP";
      expected[10] = std::to_string(c.cupIndex);
    }
    EXPECT_EQ(r.lines, expected) << c.before << "|" << c.cup;
  }
}

TEST(CountryPatch, DefaultFormJudgesTheEntry) {
  const struct {
    std::string before, cup, list;
    bool rewritten;
  } cases[] = {
      {"DB_CUP", "1", "1,2,3,4,5,6", false},
      {"X", "1", ",,,,,", false},
      {"DB_CUP", "1", "1,2,3,4,5", true},
      {"DB_CUP", "1", "1,2,3,4,5,6,7", true},
      {"DB_CUP", " 1", "105,171,192,213,269,329", true},
      {"", "1", "105,171,192,213,269,329", true},
      {"DB_CUP", "22", "105,171,192,213,269,329", true},
  };
  for (const auto& c : cases) {
    const V input = CountryLines(c.before, c.cup, c.list);
    const Result r = Patch(input, false);
    EXPECT_EQ(r.rewritten, c.rewritten) << c.before << "|" << c.cup << "|" << c.list;
    V expected = input;
    if (c.rewritten) {
      expected[6] = "DB_CUP";
      expected[10] = "1";
      expected[12] = "105,171,192,213,269,329";
    }
    EXPECT_EQ(r.lines, expected);
  }
}

TEST(CountryPatch, SwitchingFormsRewritesAndRunsSettle) {
  const V cupForm = Patch(CountryLines("", "0", "7,7"), true, 31).lines;
  EXPECT_EQ(cupForm[10], "31");
  EXPECT_FALSE(Patch(cupForm, true, 31).rewritten);
  const Result toDefault = Patch(cupForm, false);
  EXPECT_TRUE(toDefault.rewritten);
  EXPECT_FALSE(Patch(toDefault.lines, false).rewritten);
  // Back to the cup-index form: the default form's numbers stay.
  const Result back = Patch(toDefault.lines, true, 31);
  EXPECT_EQ(back.lines[10], "31");
  EXPECT_EQ(back.lines[12], "105,171,192,213,269,329");
  EXPECT_FALSE(Patch(toDefault.lines, true, 1).rewritten);
}

TEST(CountryPatch, RecognisesIndexesAndHeadersByTheirExactForms) {
  auto withLine = [](std::size_t index, const std::string& text) {
    V lines = CountryLines("", "0", "");
    lines[index] = text;
    return lines;
  };
  const struct {
    V lines;
    bool rewritten;
  } cases[] = {
      {withLine(1, " \t%INDEX%COMPETITION\t "), true}, {withLine(1, "%index%competition"), false},
      {withLine(1, "%INDEX%COMPETITIONS"), false},     {withLine(7, " { 1, FA_CUP }"), false},
      {withLine(7, "{ 1, fa_cup }"), false},           {withLine(7, "{1,XFA_CUPX}"), true},
      {withLine(13, "text %INDEXEND%COMPX"), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Patch(c.lines, true).rewritten, c.rewritten) << ::testing::PrintToString(c.lines);
  }
  EXPECT_FALSE(Patch({"{ FA_CUP }", "", "", "", "", "%INDEXEND%COMP"}, true).rewritten);
  // An entry the file ends inside is never judged.
  EXPECT_FALSE(Patch({"%INDEX%COMPETITION", "", "{ FA_CUP }", "a", "b", "0", "%INDEXEND%COM"}, true)
                   .rewritten);
}

TEST(CountryPatch, EveryEntryIsJudgedOnItsOwn) {
  // The first entry ends on the index's own end line; the walk stays inside
  // the index, so the second entry is found too.
  const V lines = {"%INDEX%COMPETITION",
                   "",
                   "{ FA_CUP a }",
                   "1",
                   "2",
                   "22",
                   "%INDEXEND%COMPETITION",
                   "",
                   "{ FA_CUP b }",
                   "1",
                   "2",
                   "0",
                   "x",
                   "%INDEXEND%COMP",
                   "%INDEX%COMPETITION",
                   "DB_CUP",
                   "{ FA_CUP c }",
                   "1",
                   "2",
                   "22",
                   "%INDEXEND%COMP"};
  const Result r = Patch(lines, true, 22);
  V expected = lines;
  expected[1] = "DB_CUP";
  expected[7] = "DB_CUP";
  expected[11] = "22";
  EXPECT_EQ(r.lines, expected);
}

TEST(CountryPatch, EntriesTooShortToJudge) {
  // Judged lines that would land on the index's opening line or the entry's
  // own end line: the entry is skipped.
  const V afterOpening = {"%INDEX%COMPETITION", "{ FA_CUP }", "a", "b", "0", "c", "d",
                          "%INDEXEND%COMP"};
  EXPECT_FALSE(Patch(afterOpening, true).rewritten);
  EXPECT_FALSE(Patch(afterOpening, false).rewritten);
  const V endAt3 = {"%INDEX%COMPETITION", "", "{ FA_CUP }", "a", "b", "%INDEXEND%COMP", "z"};
  EXPECT_FALSE(Patch(endAt3, true).rewritten);
  // The cup-index form needs no line past h+3, so an end line at h+4 is fine.
  EXPECT_TRUE(
      Patch({"%INDEX%COMPETITION", "x", "{ FA_CUP }", "a", "b", "1", "%INDEXEND%COMP"}, true)
          .rewritten);
  const V endAt5 = {"%INDEX%COMPETITION", "", "{ FA_CUP }", "a", "b", "1", "c", "%INDEXEND%COMP"};
  EXPECT_FALSE(Patch(endAt5, false).rewritten);

  // Earlier end lines still end the run, naming the index out of range.
  const struct {
    V lines;
    bool cupForm;
    int index;
  } raising[] = {
      {{"%INDEX%COMPETITION", "", "{ FA_CUP }", "%INDEXEND%COMP"}, true, 5},
      {{"%INDEX%COMPETITION", "x", "{ FA_CUP }", "a", "%INDEXEND%COMP"}, true, 5},
      {{"%INDEX%COMPETITION", "x", "{ FA_CUP }", "a", "b", "1", "%INDEXEND%COMP"}, false, 7},
      {{"%INDEX%COMPETITION", "x", "{ FA_CUP }", "a", "b", "%INDEXEND%COMP"}, false, 7},
      {{"%INDEX%COMPETITION", "x", "{ FA_CUP }", "a", "%INDEXEND%COMP"}, false, 5},
  };
  for (const auto& c : raising) {
    try {
      Patch(c.lines, c.cupForm);
      ADD_FAILURE() << ::testing::PrintToString(c.lines);
    } catch (const EStringListError& error) {
      EXPECT_EQ(error.Message(), "List index out of bounds (" + std::to_string(c.index) + ")");
    }
  }
}

TEST(CountryPatch, BackupOnlyWhenRewritingAndNeverReplaced) {
  std::string backup;
  Patch(CountryLines("DB_CUP", "22", ""), true, 22, &backup);
  EXPECT_EQ(backup, "");
  const V lines = CountryLines("", "0", "");
  Patch(lines, true, 22, &backup);
  EXPECT_EQ(backup, CrLf(lines));
  backup = "kept";
  const Result r = Patch(lines, true, 22, &backup);
  EXPECT_EQ(backup, "kept");
  EXPECT_TRUE(r.rewritten);
}

TEST(CountryPatch, MissingFileIsNeitherCreatedNorAnError) {
  MemoryFileSystem fs;
  fs.AddFolder(std::string(fakes::kDir) + "\\database");
  RunOptions options;
  options.PatchCupScript = true;
  PatchState state(options, fs);
  state.InstallDir = fakes::kDir;
  ApplyCountryPatch(state);
  EXPECT_TRUE(fs.Files().empty());
  EXPECT_TRUE(state.NotWritten().empty());
}

}  // namespace
}  // namespace corvaldo
