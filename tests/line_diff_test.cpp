#include "dryrun/line_diff.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace corvaldo {
namespace {

using V = std::vector<std::string>;

std::string Diff(std::string_view before, std::string_view after) {
  std::string text;
  WriteLineDiff(before, after, 3, [&](std::string_view piece) { text += piece; });
  return text;
}

std::string Lines(const V& lines, const char* end = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

// "1".."n", one a line.
V Numbered(int n) {
  V lines;
  for (int i = 1; i <= n; ++i) lines.push_back(std::to_string(i));
  return lines;
}

TEST(LineDiff, HunksAsDiffUShowsThem) {
  V middle = Numbered(20);
  middle[9] = "ten";
  V twoFar = Numbered(20), twoNear = Numbered(20);
  twoFar[2] = "c", twoFar[10] = "k";   // 7 unchanged lines between: two hunks
  twoNear[2] = "c", twoNear[9] = "j";  // 6: their context lines meet, one hunk
  const struct {
    const char* name;
    std::string before, after, hunks;
  } cases[] = {
      {"both empty", "", "", ""},
      {"from empty", "", "a\r\nb\r\n", "@@ -0,0 +1,2 @@\n+a\n+b\n"},
      {"to empty", "a\nb\n", "", "@@ -1,2 +0,0 @@\n-a\n-b\n"},
      {"one line", "a\r\n", "b\r\n", "@@ -1 +1 @@\n-a\n+b\n"},
      {"appended tail", Lines(Numbered(10)), Lines(Numbered(12)),
       "@@ -8,3 +8,5 @@\n 8\n 9\n 10\n+11\n+12\n"},
      {"changed middle", Lines(Numbered(20)), Lines(middle),
       "@@ -7,7 +7,7 @@\n 7\n 8\n 9\n-10\n+ten\n 11\n 12\n 13\n"},
      {"all changed", "a\r\nb\r\nc\r\n", "x\r\ny\r\n", "@@ -1,3 +1,2 @@\n-a\n-b\n-c\n+x\n+y\n"},
      {"two apart", Lines(Numbered(20)), Lines(twoFar),
       "@@ -1,6 +1,6 @@\n 1\n 2\n-3\n+c\n 4\n 5\n 6\n"
       "@@ -8,7 +8,7 @@\n 8\n 9\n 10\n-11\n+k\n 12\n 13\n 14\n"},
      {"two near", Lines(Numbered(20)), Lines(twoNear),
       "@@ -1,13 +1,13 @@\n 1\n 2\n-3\n+c\n 4\n 5\n 6\n 7\n 8\n 9\n-10\n+j\n 11\n 12\n 13\n"},
      // Changed in place before an equal line: a replacement, as diff -u has it.
      {"before its twin", "8\r\n0\r\n3\r\n7\r\n", "8\r\n3\r\n3\r\n7\r\n",
       "@@ -1,4 +1,4 @@\n 8\n-0\n+3\n 3\n 7\n"},
      {"line ends only", "a\nb\rc\nd", "a\r\nbc\r\nd\r\n", ""},
      {"a stray CR between changes", "p\r\na\rb\r\nq\r\n", "P\r\nab\r\nQ\r\n",
       "@@ -1,3 +1,3 @@\n-p\n+P\n ab\n-q\n+Q\n"},
      {"after a Ctrl-Z",
       "a\r\n\x1A"
       "b\r\n",
       "a\r\nb\r\n", "@@ -1 +1,2 @@\n a\n+b\n"},
      {"last line without end", "a\r\nb", "a\r\nb\r\nc\r\n", "@@ -1,2 +1,3 @@\n a\n b\n+c\n"},
      {"bytes kept",
       "Ta\xE7"
       "a\r\n",
       "Ta\xC7"
       "A\r\n",
       "@@ -1 +1 @@\n-Ta\xE7"
       "a\n+Ta\xC7"
       "A\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Diff(c.before, c.after), c.hunks) << c.name;
}

TEST(LineDiff, LineEndsARewriteChanges) {
  const struct {
    const char* text;
    bool bare, stray;
    std::size_t tail;
  } cases[] = {
      {"", false, false, 0},
      {"a\r\nb\r\n", false, false, 0},
      {"a\nb\r\n", true, false, 0},
      {"a\r\nb", true, false, 0},
      {"a\rb\r\n", false, true, 0},
      {"a\r\r\n", false, true, 0},
      {"a\r\n\x1Axyz", false, false, 4},
      {"a\x1A\r\n", true, false, 3},
  };
  for (const auto& c : cases) {
    const RewriteLineEnds ends = LineEndsOf(c.text);
    EXPECT_EQ(ends.bareLineEnds, c.bare) << c.text;
    EXPECT_EQ(ends.strayCrs, c.stray) << c.text;
    EXPECT_EQ(ends.droppedTail, c.tail) << c.text;
  }
}

// The old lines with the hunks applied; fails the test on a hunk that does not
// fit them.
V Apply(const V& before, const std::string& hunks) {
  V after;
  std::size_t next = 0;
  std::istringstream in(hunks);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("@@ -", 0) == 0) {
      const std::size_t start = std::stoul(line.substr(4));
      const bool empty = line.find(',') < line.find(' ', 4) && line[line.find(',') + 1] == '0';
      const std::size_t first = empty ? start : start - 1;
      EXPECT_LE(next, first) << line;
      while (next < first) after.push_back(before.at(next++));
    } else if (line[0] == '+') {
      after.push_back(line.substr(1));
    } else {
      EXPECT_EQ(before.at(next++), line.substr(1)) << line;
      if (line[0] == ' ') after.push_back(line.substr(1));
    }
  }
  while (next < before.size()) after.push_back(before[next++]);
  return after;
}

TEST(LineDiff, HunksTurnTheOldLinesIntoTheNew) {
  std::mt19937 random(2005);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 2000; ++round) {
    V before;
    for (int i = pick(40); i > 0; --i)
      before.push_back(std::string(1, static_cast<char>('a' + pick(4))));
    V after = before;
    for (int i = pick(8); i > 0; --i) {
      const int at = pick(static_cast<int>(after.size()) + 1);
      if (pick(2) && at < static_cast<int>(after.size())) {
        after.erase(after.begin() + at);
      } else {
        after.insert(after.begin() + at, std::string(1, static_cast<char>('a' + pick(5))));
      }
    }
    EXPECT_EQ(Apply(before, Diff(Lines(before, "\n"), Lines(after))), after) << round;
  }
  // Past the bounds of the comparison (thousands of edits), and around a
  // common head and tail of tens of thousands of lines each.
  V big = Numbered(50000), other = big;
  for (int i = 20000; i < 23000; ++i) other[static_cast<std::size_t>(i)] += "x";
  other.insert(other.begin() + 21000, 500, "new");
  const std::string hunks = Diff(Lines(big), Lines(other));
  EXPECT_EQ(Apply(big, hunks), other);
  EXPECT_EQ(hunks.substr(0, hunks.find('\n')), "@@ -19998,3006 +19998,3506 @@");
}

}  // namespace
}  // namespace corvaldo
