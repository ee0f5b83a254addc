#include "text/text_helpers.h"

#include <gtest/gtest.h>

namespace corvaldo {
namespace {

TEST(TextHelpers, IsBlankTrimsOnlyControlBytesAndSpace) {
  EXPECT_TRUE(IsBlank(""));
  EXPECT_TRUE(IsBlank(" \t\r\n"));
  EXPECT_TRUE(IsBlank(std::string("\0\x01\x1f ", 4)));
  EXPECT_FALSE(IsBlank(" a "));
  EXPECT_FALSE(IsBlank("\xA0"));  // no-break space stays
  EXPECT_FALSE(IsBlank("\x7F"));
  EXPECT_EQ(TrimBlanks("\t %INDEX%COMPETITION \r"), "%INDEX%COMPETITION");
}

struct CountCase {
  const char* text;
  int count;
  const char* left;
  const char* right;
};

TEST(TextHelpers, LeftAndRightClipCountsOutOfRange) {
  const CountCase cases[] = {
      {"abc", -2, "", ""},      {"abc", -1, "", ""},       {"abc", 0, "", ""},
      {"abc", 1, "a", "c"},     {"abc", 2, "ab", "bc"},    {"abc", 3, "abc", "abc"},
      {"abc", 5, "abc", "abc"}, {"abc", 10, "abc", "abc"}, {"", 1, "", ""},
      {"", -1, "", ""},         {"", 0, "", ""},
  };
  for (const CountCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.count));
    EXPECT_EQ(LeftStr(c.text, c.count), c.left);
    EXPECT_EQ(RightStr(c.text, c.count), c.right);
  }
  EXPECT_EQ(RightStr("C:\\TCM\\", 1), "\\");
  EXPECT_EQ(RightStr(std::string("a\0b", 3), 2), std::string("\0b", 2));
}

TEST(TextHelpers, CountOccurrencesCountsOverlapsExactly) {
  const struct {
    const char* text;
    const char* pattern;
    int expected;
  } cases[] = {
      {"a,b,c", ",", 2}, {"aaa", "aa", 2}, {"aaaa", "aa", 3}, {"abc", "", 0},
      {"", ",", 0},      {"ab", "abc", 0}, {"ABC", "b", 0},   {"105,171,192,213,269,329", ",", 5},
      {",", ",", 1},     {"x,,", ",", 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CountOccurrences(c.text, c.pattern), c.expected) << c.text << " / " << c.pattern;
  }
}

}  // namespace
}  // namespace corvaldo
