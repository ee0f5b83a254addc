// The game's line rules byte by byte: which CRs and LFs a rewrite changes,
// where the text ends, and which stored lines read the same.
#include "text/line_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace corvaldo {
namespace {

// One mark a byte: 'S' a stray CR, 'B' a bare LF, '.' anything else.
std::string Marks(std::string_view text) {
  std::string marks;
  for (std::size_t i = 0; i < text.size(); ++i) {
    marks += IsStrayCrAt(text, i) ? 'S' : IsBareLfAt(text, i) ? 'B' : '.';
  }
  return marks;
}

TEST(LineRules, StrayCrsAndBareLfs) {
  const struct {
    const char* text;
    const char* marks;
  } cases[] = {
      {"", ""},          {"a\r\nb\r\n", "......"}, {"\n", "B"},
      {"\r", "S"},       {"\r\n\n", "..B"},        {"a\rb\n", ".S.B"},
      {"\r\r\n", "S.."}, {"\n\r", "BS"},           {"a\r\x1A\n", ".S.B"},
  };
  for (const auto& c : cases) EXPECT_EQ(Marks(c.text), c.marks) << ::testing::PrintToString(c.text);
}

TEST(LineRules, TextEndsAtTheFirstCtrlZFromWhereTheSearchStarts) {
  const std::string bytes =
      "ab\x1A"
      "c\x1A";
  const struct { std::size_t from, end; } cases[] = {{0, 2}, {2, 2}, {3, 4}, {5, 5}};
  for (const auto& c : cases) EXPECT_EQ(GameTextEnd(bytes, c.from), c.end) << c.from;
  EXPECT_EQ(GameText("abc"), "abc");
  EXPECT_EQ(GameText("\x1A"
                     "abc"),
            "");
}

TEST(LineRules, StoredLinesAsTheGameReadsThem) {
  const struct {
    const char* stored;
    const char* read;
  } cases[] = {
      {"", ""}, {"\r", ""}, {"abc", "abc"}, {"abc\r", "abc"}, {"a\rb\r\rc\r", "abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WithoutCrs(c.stored), c.read) << ::testing::PrintToString(c.stored);
    std::string inPlace = c.stored;
    inPlace.resize(CopyWithoutCrs(inPlace, inPlace.data()));
    EXPECT_EQ(inPlace, c.read) << ::testing::PrintToString(c.stored);
  }
}

TEST(LineRules, LinesThatReadTheSame) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"", "", true},       {"", "\r", true},           {"ab", "ab\r", true},
      {"a\rb", "ab", true}, {"\ra\r\rb\r", "ab", true}, {"ab", "a\rc", false},
      {"ab", "abc", false}, {"a\r", "a\rb", false},     {"a\rb", "b\ra", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameGameLine(c.a, c.b), c.same)
        << ::testing::PrintToString(c.a) << " " << ::testing::PrintToString(c.b);
    EXPECT_EQ(SameGameLine(c.b, c.a), c.same) << "swapped";
  }
}

}  // namespace
}  // namespace corvaldo
