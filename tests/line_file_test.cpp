#include "gamefiles/line_file.h"

#include <gtest/gtest.h>

#include "gamefiles/memory_file_system.h"

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
      {"\x1A" "abc", {}},
      {"ab\x1A" "cd\r\nef\r\n", {"ab"}},
      {std::string("n\0l\xE7\xFF\r\n", 6), {std::string("n\0l\xE7\xFF", 5)}},
      {"  padded \t\r\n", {"  padded \t"}},
  };
  for (const auto& [bytes, lines] : cases) EXPECT_EQ(Read(bytes), lines) << ::testing::PrintToString(bytes);
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
      {Op::OpenReplace, 1, 0}, {Op::Write, 1, 0}, {Op::Write, 1, 3}, {Op::Write, 1, 9},
      {Op::Flush, 1, 0},       {Op::Replace, 1, 0},
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

}  // namespace
}  // namespace corvaldo
