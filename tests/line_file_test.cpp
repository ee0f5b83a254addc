#include "gamefiles/line_file.h"

#include <gtest/gtest.h>

#include <random>

#include "gamefiles/errors.h"
#include "support/memory_file_system.h"

namespace corvaldo {
namespace {

using Op = MemoryFileSystem::Op;
const std::string kPath = "C:\\G\\f.txt";

std::vector<std::string> ReadAll(MemoryFileSystem& fs, const std::string& path = kPath) {
  LineFile file(fs);
  file.OpenForReading(path);
  std::vector<std::string> lines;
  while (!file.AtEnd()) lines.push_back(file.ReadNextLine());
  file.CloseFile();
  return lines;
}

std::vector<std::string> Read(const std::string& bytes) {
  MemoryFileSystem fs;
  fs.AddFile(kPath, bytes);
  return ReadAll(fs);
}

TEST(LineFileReading, FollowsTheGameLineRules) {
  using V = std::vector<std::string>;
  const std::pair<std::string, V> cases[] = {
      {"", {}},
      {"\r\n", {""}},
      {"\n", {""}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\rb\r\n", {"ab"}},
      {"a\r", {"a"}},
      {"\r", {""}},
      {"a\r\r\nb", {"a", "b"}},
      {"a\n\rb", {"a", "b"}},
      {"1\r\n2\r\n3\r\n4\r\n\x1Arest\r\n", {"1", "2", "3", "4"}},
      {"a\r\n\x1A", {"a"}},
      {"a\x1A", {"a"}},
      {"\032abc", {}},
      {"ab\032cd\r\nef\r\n", {"ab"}},
      {std::string("n\0l\xE7\xFF\r\n", 6), {std::string("n\0l\xE7\xFF", 5)}},
      {"  padded \t\r\n", {"  padded \t"}},
  };
  for (const auto& [bytes, lines] : cases)
    EXPECT_EQ(Read(bytes), lines) << ::testing::PrintToString(bytes);
}

TEST(LineFileReading, MissingOrUnreadableReadsAsEmpty) {
  MemoryFileSystem fs;
  LineFile file(fs);
  file.OpenForReading(kPath);
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.ReadOutcome(), ReadStatus::Missing);

  fs.AddFile(kPath, "a\r\n");
  fs.SetLocked(kPath);
  file.OpenForReading(kPath);
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.ReadOutcome(), ReadStatus::Unreadable);

  MemoryFileSystem partial;
  partial.AddFile(kPath, "abc\r\ndef\r\n");
  partial.InjectFault({Op::Read, 1, 7});
  EXPECT_EQ(ReadAll(partial), (std::vector<std::string>{"abc", "de"}));
}

TEST(LineFileReading, NeverOpensAPathOverTheLimit) {
  MemoryFileSystem fs;
  const std::string longPath = "C:\\" + std::string(257, 'a');  // 260 characters
  fs.AddFile(longPath, "x\r\n");
  LineFile file(fs);
  file.OpenForReading(longPath);
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.ReadOutcome(), ReadStatus::PathTooLong);
  EXPECT_TRUE(fs.Log().empty());
  EXPECT_FALSE(file.OpenForRewrite(longPath));
  EXPECT_FALSE(file.CloseFile());
  EXPECT_EQ(fs.Content(longPath), "x\r\n");

  const std::string limitPath = "C:\\" + std::string(256, 'a');  // 259 characters
  fs.AddFile(limitPath, "y");
  EXPECT_EQ(ReadAll(fs, limitPath), std::vector<std::string>{"y"});
}

TEST(LineFileWriting, EndsEveryLineWithCrLf) {
  MemoryFileSystem fs;
  fs.AddFile(kPath, "a\nb");
  LineList lines;
  for (const auto& line : ReadAll(fs)) lines.Add(line);
  LineFile file(fs);
  ASSERT_TRUE(file.OpenForRewrite(kPath));
  file.WriteLine("first");
  file.WriteLines(lines);
  file.WriteLine("");
  EXPECT_EQ(fs.Content(kPath), "a\nb");  // nothing lands before the close
  EXPECT_TRUE(file.CloseFile());
  EXPECT_EQ(fs.Content(kPath), "first\r\na\r\nb\r\n\r\n");
  // Reading back what was written gives the same lines.
  EXPECT_EQ(ReadAll(fs), (std::vector<std::string>{"first", "a", "b", ""}));
}

// Each write-side failure leaves the old file byte for byte and no temporary.
TEST(LineFileWriting, FailedRewriteKeepsTheOldFile) {
  const std::string old = "old\r\ncontent";
  const MemoryFileSystem::Fault faults[] = {
      {Op::OpenReplace, 1, 0}, {Op::Write, 1, 0}, {Op::Write, 1, 3},
      {Op::Write, 1, 9},       {Op::Flush, 1, 0}, {Op::Replace, 1, 0},
  };
  for (const auto& fault : faults) {
    MemoryFileSystem fs;
    fs.AddFile(kPath, old);
    fs.InjectFault(fault);
    LineFile file(fs);
    file.OpenForRewrite(kPath);
    file.WriteLine("new");
    file.WriteLine("text");
    EXPECT_FALSE(file.CloseFile()) << static_cast<int>(fault.op) << "@" << fault.atByte;
    EXPECT_EQ(fs.Content(kPath), old);
    EXPECT_EQ(fs.Files().size(), 1u) << "temporary file left behind";
  }
  for (const char* refusal : {"read-only", "locked", "no folder"}) {
    MemoryFileSystem fs;
    fs.AddFile(kPath, old);
    std::string path = kPath;
    if (refusal[0] == 'r') fs.SetReadOnly(kPath);
    if (refusal[0] == 'l') fs.SetLocked(kPath);
    if (refusal[0] == 'n') path = "C:\\Missing\\f.txt";
    LineFile file(fs);
    EXPECT_FALSE(file.OpenForRewrite(path)) << refusal;
    file.WriteLine("new");
    EXPECT_FALSE(file.CloseFile());
    EXPECT_EQ(fs.Content(kPath), old);
    EXPECT_EQ(fs.Files().size(), 1u);
  }
}

TEST(BackupOnce, NeverReplacesAnExistingBackup) {
  MemoryFileSystem fs;
  fs.AddFile(kPath, "original");
  const std::string backup = "C:\\G\\f.backup-original.txt";
  EXPECT_TRUE(BackupOnce(fs, kPath, backup));
  EXPECT_EQ(fs.Content(backup), "original");
  fs.AddFile(kPath, "changed");
  EXPECT_FALSE(BackupOnce(fs, kPath, backup));
  EXPECT_EQ(fs.Content(backup), "original");
  EXPECT_FALSE(BackupOnce(fs, "C:\\G\\absent.txt", "C:\\G\\absent.bak"));
  EXPECT_FALSE(fs.Content("C:\\G\\absent.bak"));
}

// The line rules, one byte at a time, as plainly as they can be written.
std::vector<std::string> ReferenceLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (i < bytes.size() && bytes[i] != '\x1A') {
    std::string line;
    for (; i < bytes.size(); ++i) {
      const char c = bytes[i];
      if (c == '\x1A') {
        i = bytes.size();
        break;
      }
      if (c == '\n') {
        ++i;
        break;
      }
      if (c != '\r') line.push_back(c);
    }
    lines.push_back(line);
  }
  return lines;
}

std::string CrLfJoined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += line + "\r\n";
  return out;
}

// Random files of short lines with every kind of line end, read into a list
// that is then read, changed and written back in random ways; a plain vector
// of strings does the same beside it.
TEST(LineStore, KeptLinesBehaveLikeCopiedStrings) {
  std::mt19937 random(2005);
  const char alphabet[] = {'a', 'b', ' ', '\r', '\n', '\n', '\x1A', '\0', '\xE7'};
  for (int round = 0; round < 3000; ++round) {
    // Mostly tidy files (CR LF or LF throughout), some with stray bytes.
    const int shape = round % 4;
    std::string bytes;
    const int lineCount = static_cast<int>(random() % (round % 50 == 0 ? 400 : 40));
    for (int l = 0; l < lineCount; ++l) {
      const int length = static_cast<int>(random() % 6);
      for (int k = 0; k < length; ++k) {
        bytes += shape == 3 ? alphabet[random() % sizeof alphabet] : static_cast<char>('a' + k);
      }
      if (shape == 0 || shape == 3) bytes += "\r\n";
      if (shape == 1) bytes += "\n";
      if (shape == 2) bytes += random() % 2 ? "\r\n" : "\n";
    }
    if (random() % 3 == 0) bytes += "tail";
    if (random() % 5 == 0) bytes += "\r";

    MemoryFileSystem fs;
    fs.AddFile(kPath, bytes);
    std::vector<std::string> model = ReferenceLines(bytes);
    LineList list;
    LineFile file(fs);
    file.OpenForReading(kPath);
    // Like the cup script, sometimes leave the first line out of the list.
    const bool skipFirst = random() % 4 == 0 && !model.empty();
    if (skipFirst) {
      EXPECT_EQ(std::string(file.ReadNextLine()), model.front());
      model.erase(model.begin());
    }
    std::vector<std::string> expected;
    std::size_t read = 0;
    while (!file.AtEnd()) {
      const LineText line = file.ReadNextLine();
      ASSERT_LT(read, model.size());
      ASSERT_EQ(line.view(), model[read]) << ::testing::PrintToString(bytes);
      ++read;
      if (random() % 50 == 0) {
        list.Add("added " + std::to_string(read));
        expected.push_back("added " + std::to_string(read));
      }
      if (random() % 40 != 0) {  // now and then a line is left out
        list.Add(line);
        expected.push_back(model[read - 1]);
      }
      if (!expected.empty() && random() % 10 == 0) {
        const auto index = static_cast<std::int32_t>(random() % expected.size());
        expected[static_cast<std::size_t>(index)] = "put " + std::to_string(round);
        list.Put(index, expected[static_cast<std::size_t>(index)]);
      }
      if (!expected.empty()) {
        const auto index = static_cast<std::int32_t>(random() % expected.size());
        ASSERT_EQ(list.Get(index), expected[static_cast<std::size_t>(index)]);
      }
    }
    ASSERT_EQ(read, model.size());
    file.CloseFile();  // the list keeps what it holds

    ASSERT_EQ(list.Count(), static_cast<std::int32_t>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(list.Get(static_cast<std::int32_t>(i)), expected[i]) << i;
    }
    for (int k = 0; k < 20 && !expected.empty(); ++k) {
      const auto index = static_cast<std::int32_t>(random() % expected.size());
      ASSERT_EQ(list.Get(index), expected[static_cast<std::size_t>(index)]);
    }
    EXPECT_THROW(list.Get(list.Count()), EStringListError);

    ASSERT_TRUE(file.OpenForRewrite(kPath));
    file.WriteLine("first");
    file.WriteLines(list);
    ASSERT_TRUE(file.CloseFile());
    EXPECT_EQ(fs.Content(kPath), "first\r\n" + CrLfJoined(expected))
        << ::testing::PrintToString(bytes);
  }
}

// Lines longer than the write chunks, and files of many chunks, in each of
// the ways the lines can reach the writer.
TEST(LineStore, LongLinesAndLargeFilesWriteWhole) {
  const std::string longLine(600 * 1024, 'x');
  std::string lfFile;
  std::string crLfFile;
  for (int i = 0; i < 40000; ++i) {
    lfFile += "line " + std::to_string(i) + "\n";
    crLfFile += "line " + std::to_string(i) + "\r\n";
  }
  const std::string files[] = {
      longLine + "\r\nshort\r\n" + longLine,
      lfFile,
      crLfFile + longLine,
      crLfFile + "lone\rCR\r\n" + lfFile,
  };
  for (const std::string& bytes : files) {
    MemoryFileSystem fs;
    fs.AddFile(kPath, bytes);
    LineList list;
    LineFile file(fs);
    file.OpenForReading(kPath);
    while (!file.AtEnd()) list.Add(file.ReadNextLine());
    file.CloseFile();
    std::vector<std::string> expected = ReferenceLines(bytes);
    list.Put(1, longLine);
    expected[1] = longLine;
    ASSERT_TRUE(file.OpenForRewrite(kPath));
    file.WriteLines(list);
    file.WriteLine(longLine);
    ASSERT_TRUE(file.CloseFile());
    EXPECT_TRUE(fs.Content(kPath) == CrLfJoined(expected) + longLine + "\r\n");
  }
}

// A list keeps the text of the file its lines came from, whatever the
// LineFile reads next.
TEST(LineStore, ListOutlivesTheFileAndMixesFiles) {
  MemoryFileSystem fs;
  fs.AddFile("C:\\G\\a.txt", "a1\r\na2\r\n");
  fs.AddFile("C:\\G\\b.txt", "b1\nb2\n");
  LineList list;
  {
    LineFile file(fs);
    file.OpenForReading("C:\\G\\a.txt");
    while (!file.AtEnd()) list.Add(file.ReadNextLine());
    file.OpenForReading("C:\\G\\b.txt");
    list.Add(file.ReadNextLine());
  }
  fs.RemoveFile("C:\\G\\a.txt");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(0), "a1");
  EXPECT_EQ(list.Get(1), "a2");
  EXPECT_EQ(list.Get(2), "b1");
  list.Clear();
  LineFile file(fs);
  file.OpenForReading("C:\\G\\b.txt");
  list.Add(file.ReadNextLine());
  EXPECT_EQ(list.Get(0), "b1");
}

// Lines skipped in bulk are exactly the lines that would have been read,
// none of them holds the word, and the next line read is one that needs a
// look: it holds the word, had a CR dropped, or is the last.
TEST(LineStore, LinesWithoutAWordGoInUnread) {
  struct Case {
    std::string bytes;
    std::string word;
    std::int32_t added;
    const char* next;  // null: nothing left
  };
  const Case cases[] = {
      {"a\r\nb\r\nc", "x", 2, "c"},
      {"a\nb\n", "x", 2, nullptr},
      {"a\nxb\nc\n", "x", 1, "xb"},
      {"xa\nb\n", "x", 0, "xa"},
      {"a\nb\rc\nd\n", "x", 1, "bc"},
      {"a\n%INDEX%\rCOMPETITION\nb\n", "%INDEX%COMPETITION", 1, "%INDEX%COMPETITION"},
      {"a\r\nb\032x\r\n", "x", 1, "b"},
      {"", "x", 0, nullptr},
  };
  for (const Case& c : cases) {
    MemoryFileSystem fs;
    fs.AddFile(kPath, c.bytes);
    LineFile file(fs);
    LineList list;
    file.OpenForReading(kPath);
    file.AddLinesWithout(c.word, list);
    EXPECT_EQ(list.Count(), c.added) << ::testing::PrintToString(c.bytes);
    if (c.next) {
      ASSERT_FALSE(file.AtEnd()) << ::testing::PrintToString(c.bytes);
      EXPECT_EQ(file.ReadNextLine().view(), c.next);
    } else {
      EXPECT_TRUE(file.AtEnd()) << ::testing::PrintToString(c.bytes);
    }
  }

  // Files larger than the windows the search goes by, a line longer than
  // one included.
  for (const std::size_t longLine : {std::size_t{0}, std::size_t{3} << 20}) {
    std::string bytes(longLine, 'y');
    if (longLine) bytes += "\r\n";
    std::vector<std::string> model;
    if (longLine) model.push_back(std::string(longLine, 'y'));
    for (int i = 0; i < 300000; ++i) {
      model.push_back("line " + std::to_string(i) + (i == 250000 ? "%" : ""));
      bytes += model.back() + "\r\n";
    }
    MemoryFileSystem fs;
    fs.AddFile(kPath, bytes);
    LineFile file(fs);
    LineList list;
    file.OpenForReading(kPath);
    file.AddLinesWithout("%", list);
    const auto before = static_cast<std::int32_t>(model.size()) - 50000;
    ASSERT_EQ(list.Count(), before);
    EXPECT_EQ(file.ReadNextLine().view(), "line 250000%");
    file.AddLinesWithout("%", list);  // the rest: the last line ends in CR LF too
    EXPECT_TRUE(file.AtEnd());
    EXPECT_EQ(list.Count(), static_cast<std::int32_t>(model.size()) - 1);
    for (std::int32_t i = 0; i < list.Count(); i += 997) {
      const std::size_t at = static_cast<std::size_t>(i < before ? i : i + 1);
      ASSERT_EQ(list.Get(i), model[at]) << i;
    }
  }

  // Files of many lines, with marks crossed in and out of runs, read in turns
  // of skipping and reading, into a list that stays compact or one that
  // does not; then read back by index and written back whole.
  std::mt19937 random(38);
  const std::string words[] = {"7", "%", "99", "x", "\r"};
  for (int round = 0; round < 200; ++round) {
    std::string bytes;
    const int lineCount = 1 + static_cast<int>(random() % 3000);
    for (int l = 0; l < lineCount; ++l) {
      bytes += std::to_string(random() % (round % 2 ? 1000 : 100000));
      if (random() % 300 == 0) bytes += "%";
      if (round % 5 == 4 && random() % 200 == 0) bytes += "\r-";
      bytes += random() % 2 ? "\r\n" : "\n";
    }
    if (round % 3 == 0) bytes += "last";
    const std::vector<std::string> model = ReferenceLines(bytes);
    MemoryFileSystem fs;
    fs.AddFile(kPath, bytes);
    LineFile file(fs);
    LineList list;
    std::vector<std::string> expected;
    if (round % 4 == 3) {  // a list that already holds a string
      list.Add("first");
      expected.push_back("first");
    }
    file.OpenForReading(kPath);
    std::size_t read = 0;
    while (!file.AtEnd()) {
      const std::string& word = words[random() % std::size(words)];
      const std::int32_t before = list.Count();
      file.AddLinesWithout(word, list);
      for (std::int32_t i = before; i < list.Count(); ++i, ++read) {
        ASSERT_LT(read, model.size());
        ASSERT_EQ(model[read].find(word), std::string::npos) << word;
        expected.push_back(model[read]);
      }
      for (int k = 0; k < 3 && !file.AtEnd(); ++k, ++read) {
        list.Add(file.ReadNextLine());
        expected.push_back(model.at(read));
      }
    }
    ASSERT_EQ(read, model.size());
    ASSERT_EQ(list.Count(), static_cast<std::int32_t>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(list.Get(static_cast<std::int32_t>(i)), expected[i]) << i;
    }
    for (int k = 0; k < 50; ++k) {
      const auto index = static_cast<std::int32_t>(random() % expected.size());
      ASSERT_EQ(list.Get(index), expected[static_cast<std::size_t>(index)]) << index;
    }
    ASSERT_TRUE(file.OpenForRewrite(kPath));
    file.WriteLines(list);
    ASSERT_TRUE(file.CloseFile());
    EXPECT_TRUE(fs.Content(kPath) == CrLfJoined(expected));
  }
}

}  // namespace
}  // namespace corvaldo
