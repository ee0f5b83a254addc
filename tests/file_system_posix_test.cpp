#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gamefiles/file_system.h"
#include "wine/wine_prefix.h"

namespace corvaldo {
namespace {

namespace fs = std::filesystem;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvaldo-fs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    prefix_ = pattern;
    game_ = prefix_ + "/drive_c/Game";
    fs::create_directories(game_ + "/script");
    files_ = MakeWineFileSystem(prefix_);
  }
  void TearDown() override { fs::remove_all(prefix_); }

  void Put(const std::string& relative, const std::string& bytes, mode_t mode = 0644) {
    const std::string path = game_ + "/" + relative;
    std::ofstream(path, std::ios::binary) << bytes;
    chmod(path.c_str(), mode);
  }
  std::string Get(const std::string& relative) {
    std::ifstream in(game_ + "/" + relative, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
  mode_t Mode(const std::string& relative) {
    struct stat st {};
    stat((game_ + "/" + relative).c_str(), &st);
    return st.st_mode & 07777;
  }
  // Every name in the game's script folder, to catch leftover temporary files.
  std::vector<std::string> ScriptFolder() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(game_ + "/script")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string prefix_;
  std::string game_;
  std::unique_ptr<FileSystem> files_;
};

using Names = std::vector<std::string>;

TEST_F(PosixFileSystemTest, ReadFileReportsWhatHappened) {
  Put("script/cupAlloc.txt", std::string("a\r\nb\0\xFF", 6));
  fs::create_directory(game_ + "/script/folder");
  // Reading this process's own memory at offset 0 fails with EIO after the open.
  fs::create_symlink("/proc/self/mem", game_ + "/script/broken");
  struct Case {
    std::string path;
    ReadStatus status;
    std::string bytes;
  };
  const Case cases[] = {
      {"C:\\Game\\script\\cupAlloc.txt", ReadStatus::Ok, std::string("a\r\nb\0\xFF", 6)},
      {"c:\\GAME\\Script\\CUPALLOC.TXT", ReadStatus::Ok, std::string("a\r\nb\0\xFF", 6)},
      {"C:\\Game\\script\\missing.txt", ReadStatus::Missing, ""},
      {"C:\\Game\\nowhere\\cupAlloc.txt", ReadStatus::Missing, ""},
      {"\\\\server\\Game\\cupAlloc.txt", ReadStatus::Missing, ""},
      {"C:\\Game\\script\\folder", ReadStatus::Unreadable, ""},
      {"C:\\Game\\script\\broken", ReadStatus::ReadError, ""},
      {"C:\\" + std::string(257, 'x'), ReadStatus::PathTooLong, ""},
  };
  for (const Case& c : cases) {
    ReadResult result = files_->ReadFile(c.path);
    EXPECT_EQ(result.status, c.status) << c.path;
    EXPECT_EQ(result.bytes, c.bytes) << c.path;
  }
  EXPECT_TRUE(files_->Exists("C:\\game\\SCRIPT\\cupalloc.txt"));
  EXPECT_FALSE(files_->Exists("C:\\Game\\script\\missing.txt"));
}

// A failed operation leaves the system's words for it; one that works, or a
// file that is simply not there, leaves none.
TEST_F(PosixFileSystemTest, FailuresGiveTheSystemsReason) {
  Put("script/cupAlloc.txt", "3\r\n");
  Put("script/locked.txt", "3\r\n", 0444);
  fs::create_directory(game_ + "/script/folder");
  fs::create_symlink("/proc/self/mem", game_ + "/script/broken");
  fs::create_symlink("loop", game_ + "/loop");
  const std::string script = "C:\\Game\\script\\";
  const struct {
    const char* what;
    std::function<bool(FileSystem&)> operation;  // true when it worked
    bool works;
    const char* reason;
  } cases[] = {
      {"read",
       [&](FileSystem& f) { return f.ReadFile(script + "cupAlloc.txt").status == ReadStatus::Ok; },
       true, ""},
      {"read a missing file",
       [&](FileSystem& f) { return f.ReadFile(script + "no.txt").status == ReadStatus::Ok; }, false,
       ""},
      {"read a folder",
       [&](FileSystem& f) { return f.ReadFile(script + "folder").status == ReadStatus::Ok; }, false,
       "Is a directory"},
      {"read cut short",
       [&](FileSystem& f) { return f.ReadFile(script + "broken").status == ReadStatus::Ok; }, false,
       "Input/output error"},
      {"read through a loop",
       [&](FileSystem& f) { return f.ReadFile("C:\\Game\\loop\\x").status == ReadStatus::Ok; },
       false, "Too many levels of symbolic links"},
      {"read a long path",
       [&](FileSystem& f) {
         return f.ReadFile("C:\\" + std::string(257, 'x')).status == ReadStatus::Ok;
       },
       false, "File name too long"},
      {"replace",
       [&](FileSystem& f) { return f.OpenForReplace(script + "cupAlloc.txt") != nullptr; }, true,
       ""},
      {"replace a file without write bits",
       [&](FileSystem& f) { return f.OpenForReplace(script + "locked.txt") != nullptr; }, false,
       "Permission denied"},
      {"replace in a missing folder",
       [&](FileSystem& f) { return f.OpenForReplace("C:\\Game\\none\\a.txt") != nullptr; }, false,
       "No such file or directory"},
      {"replace a folder",
       [&](FileSystem& f) { return f.OpenForReplace(script + "folder") != nullptr; }, false,
       "Is a directory"},
      {"copy onto a file",
       [&](FileSystem& f) {
         return f.CopyNoReplace(script + "cupAlloc.txt", script + "locked.txt");
       },
       false, "File exists"},
      {"copy a missing file",
       [&](FileSystem& f) { return f.CopyNoReplace(script + "no.txt", script + "new.txt"); }, false,
       "No such file or directory"},
  };
  for (const auto& c : cases) {
    files_->SetFailureReason("stale");
    const bool worked = c.operation(*files_);
    EXPECT_EQ(worked, c.works) << c.what;
    EXPECT_EQ(files_->FailureReason(), c.reason) << c.what;
  }
  EXPECT_FALSE(fs::exists(game_ + "/script/new.txt"));
}

TEST_F(PosixFileSystemTest, FilesOfEverySizeReadBackWhole) {
  // Around the size where reading switches to huge-page blocks, and over a
  // block's rounding; each written in one piece through a writer and read back.
  const std::size_t sizes[] = {0,
                               1,
                               (256 << 10) - 2,
                               (256 << 10) - 1,
                               256 << 10,
                               (2 << 20) - 1,
                               2 << 20,
                               (2 << 20) + 1,
                               (5 << 20) + 3};
  for (std::size_t size : sizes) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 4096);
    std::unique_ptr<FileWriter> writer = files_->OpenForReplace("C:\\Game\\script\\big.txt");
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->Write(bytes)) << size;
    ASSERT_TRUE(writer->Commit()) << size;
    ReadResult result = files_->ReadFile("C:\\Game\\script\\big.txt");
    EXPECT_EQ(result.status, ReadStatus::Ok) << size;
    EXPECT_EQ(result.bytes.size(), size);
    EXPECT_TRUE(result.bytes == bytes) << size;
    // The bytes belong to the reader: changing them in place is allowed.
    if (size > 0) {
      result.bytes.data()[size - 1] = 'x';
      EXPECT_EQ(result.bytes.view().back(), 'x');
    }
  }
  EXPECT_EQ(ScriptFolder(), Names{"big.txt"});
}

TEST_F(PosixFileSystemTest, AFileLongerThanItsSizeSaysIsReadToItsEnd) {
  // Files under /proc report a size of 0 and still have content.
  fs::create_symlink("/proc/self/status", game_ + "/script/status");
  ReadResult result = files_->ReadFile("C:\\Game\\script\\status");
  EXPECT_EQ(result.status, ReadStatus::Ok);
  EXPECT_EQ(result.bytes.view().substr(0, 5), "Name:");
  EXPECT_NE(result.bytes.view().find("\nPid:"), std::string_view::npos);

  // One that outgrows the small buffer and then its first huge-page block.
  if (!fs::exists("/proc/kallsyms")) GTEST_SKIP() << "no /proc/kallsyms for the large case";
  fs::create_symlink("/proc/kallsyms", game_ + "/script/symbols");
  std::ifstream in("/proc/kallsyms", std::ios::binary);
  std::stringstream expected;
  expected << in.rdbuf();
  ASSERT_GT(expected.str().size(), std::size_t{4} << 20);
  result = files_->ReadFile("C:\\Game\\script\\symbols");
  EXPECT_EQ(result.status, ReadStatus::Ok);
  EXPECT_TRUE(result.bytes == expected.str());
}

TEST_F(PosixFileSystemTest, ReplaceSwapsInTheNewContentAndKeepsTheMode) {
  Put("script/cupAlloc.txt", "old", 0640);
  std::unique_ptr<FileWriter> writer = files_->OpenForReplace("C:\\Game\\script\\CUPALLOC.TXT");
  ASSERT_NE(writer, nullptr);
  // More than the write buffer, in pieces.
  const std::string line(1000, 'x');
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(writer->Write(line + "\r\n"));
    expected += line + "\r\n";
  }
  EXPECT_EQ(Get("script/cupAlloc.txt"), "old");  // nothing lands before Commit
  ASSERT_TRUE(writer->Commit());
  EXPECT_FALSE(writer->Commit());
  writer.reset();
  EXPECT_EQ(Get("script/cupAlloc.txt"), expected);
  EXPECT_EQ(Mode("script/cupAlloc.txt"), 0640u);
  EXPECT_EQ(ScriptFolder(), Names{"cupAlloc.txt"});
}

TEST_F(PosixFileSystemTest, ReplaceCreatesAMissingFile) {
  std::unique_ptr<FileWriter> writer = files_->OpenForReplace("C:\\Game\\script\\novo \xE7.txt");
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(writer->Write("new\r\n"));
  ASSERT_TRUE(writer->Commit());
  EXPECT_EQ(Get("script/novo \xC3\xA7.txt"), "new\r\n");
  EXPECT_EQ(Mode("script/novo \xC3\xA7.txt"), 0644u);

  // 259 characters; the temporary file's name cannot carry the target's.
  const std::string longName(244, 'n');
  writer = files_->OpenForReplace("C:\\Game\\script\\" + longName);
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(writer->Commit());
  EXPECT_EQ(Get("script/" + longName), "");
}

TEST_F(PosixFileSystemTest, ReplaceIsRefusedBeforeAnythingIsWritten) {
  Put("script/readonly.txt", "keep", 0444);
  fs::create_directory(game_ + "/script/folder");
  const char* refused[] = {
      "C:\\Game\\script\\readonly.txt",  // no write bit, even for root
      "C:\\Game\\script\\folder",
      "C:\\Game\\nowhere\\cupAlloc.txt",
      "script\\cupAlloc.txt",
  };
  for (const char* path : refused) EXPECT_EQ(files_->OpenForReplace(path), nullptr) << path;
  EXPECT_EQ(files_->OpenForReplace("C:\\Game\\script\\" + std::string(245, 'n')), nullptr);
  EXPECT_EQ(Get("script/readonly.txt"), "keep");
  EXPECT_EQ(ScriptFolder(), (Names{"folder", "readonly.txt"}));
}

// Only the one name goes: a link, never what it points to; never a folder,
// a read-only file or a missing one. A preview only answers.
TEST_F(PosixFileSystemTest, RemoveTakesAwayOnlyTheNameItIsGiven) {
  const std::string outside = prefix_ + "/outside.txt";
  std::ofstream(outside) << "kept";
  const struct {
    const char* name;
    std::function<void(const std::string&)> make;  // at the given Unix path
    bool removed;
  } cases[] = {
      {"file.txt", [](const std::string& at) { std::ofstream(at) << "x"; }, true},
      {"link.txt", [&](const std::string& at) { fs::create_symlink(outside, at); }, true},
      {"dangling.txt", [&](const std::string& at) { fs::create_symlink(prefix_ + "/none", at); },
       true},
      {"folder", [](const std::string& at) { fs::create_directory(at); }, false},
      {"folderlink", [&](const std::string& at) { fs::create_directory_symlink(prefix_, at); },
       true},
      {"readonly.txt",
       [](const std::string& at) {
         std::ofstream(at) << "x";
         chmod(at.c_str(), 0444);
       },
       false},
      {"missing.txt", [](const std::string&) {}, false},
  };
  for (bool preview : {true, false}) {
    std::unique_ptr<FileSystem> files = MakeWineFileSystem(prefix_, true, preview);
    for (const auto& c : cases) {
      const std::string at = game_ + "/script/" + c.name;
      c.make(at);
      // Asked for in other letter case, as Windows programs may.
      std::string windowsName = c.name;
      for (char& ch : windowsName) ch = static_cast<char>(std::toupper(ch));
      EXPECT_EQ(files->Remove("C:\\Game\\Script\\" + windowsName), c.removed) << c.name;
      const bool there = fs::symlink_status(at).type() != fs::file_type::not_found;
      const bool wasThere = std::string(c.name) != "missing.txt";
      EXPECT_EQ(there, wasThere && (preview || !c.removed)) << c.name;
      fs::remove_all(at);
    }
  }
  std::ifstream kept(outside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
  EXPECT_TRUE(fs::exists(prefix_ + "/drive_c"));
  EXPECT_FALSE(files_->Remove("C:\\Game\\script\\" + std::string(250, 'n')));
}

TEST_F(PosixFileSystemTest, UncommittedOrFailedReplaceLeavesTheOldFileAndNoTemporary) {
  Put("script/cupAlloc.txt", "old");
  // Unnamed temporary files (O_TMPFILE) leave no name while they are written;
  // where the file system lacks them, the named one sits beside its target.
  for (const bool unnamed : {true, false}) {
    files_ = MakeWineFileSystem(prefix_, unnamed);
    {
      std::unique_ptr<FileWriter> writer = files_->OpenForReplace("C:\\Game\\script\\cupAlloc.txt");
      ASSERT_NE(writer, nullptr);
      ASSERT_TRUE(writer->Write("abandoned"));
      const Names names = ScriptFolder();
      ASSERT_EQ(names.size(), unnamed ? 1u : 2u) << unnamed;
      if (!unnamed) {
        EXPECT_EQ(names[1].rfind("cupAlloc.txt.corvaldo-", 0), 0u);
      }
    }
    EXPECT_EQ(Get("script/cupAlloc.txt"), "old");
    EXPECT_EQ(ScriptFolder(), Names{"cupAlloc.txt"});

    // The swap itself fails: something put a non-empty folder at the target.
    std::unique_ptr<FileWriter> writer = files_->OpenForReplace("C:\\Game\\script\\late.txt");
    ASSERT_NE(writer, nullptr);
    fs::create_directories(game_ + "/script/late.txt/inside");
    ASSERT_TRUE(writer->Write("lost"));
    EXPECT_FALSE(writer->Commit());
    EXPECT_FALSE(writer->Write("more"));
    EXPECT_EQ(ScriptFolder(), (Names{"cupAlloc.txt", "late.txt"}));
    fs::remove_all(game_ + "/script/late.txt");
  }
}

TEST_F(PosixFileSystemTest, AFolderIsClearedOfStaleTemporariesWhenFirstTouched) {
  Put("script/cupAlloc.txt", "old");
  struct Case {
    std::string name;
    bool ours;
  };
  const Case cases[] = {
      {"cupAlloc.txt.corvaldo-Ab3xYz", true},
      {"Country38.sav.corvaldo-000000", true},
      {".corvaldo-zzzzzz", true},  // the name was too long to carry
      {"cupAlloc.txt.corvaldo-Ab3xY", false},
      {"cupAlloc.txt.corvaldo-Ab3xYz7", false},
      {"cupAlloc.txt.corvaldo-Ab3_Yz", false},
      {"cupAlloc.txt.Corvaldo-Ab3xYz", false},
      {"cupAlloc.txt-corvaldo-Ab3xYz", false},
      {"corvaldo-Ab3xYz", false},
      {"cupAlloc.txt.corvaldo-Ab3xYz.txt", false},
  };
  for (const Case& c : cases) Put("script/" + c.name, "left over");
  // Only plain files: not a folder, nor a link (to a file of the game's).
  fs::create_directory(game_ + "/script/d.corvaldo-aaaaaa");
  fs::create_symlink("cupAlloc.txt", game_ + "/script/l.corvaldo-bbbbbb");
  // A run still going on holds its file locked.
  Put("script/live.corvaldo-cccccc", "in use");
  const int held = open((game_ + "/script/live.corvaldo-cccccc").c_str(), O_RDONLY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);

  Names kept = {"cupAlloc.txt", "d.corvaldo-aaaaaa", "l.corvaldo-bbbbbb", "live.corvaldo-cccccc"};
  for (const Case& c : cases) {
    if (!c.ours) kept.push_back(c.name);
  }
  std::sort(kept.begin(), kept.end());
  // Reading is enough to touch the folder.
  EXPECT_EQ(files_->ReadFile("C:\\Game\\script\\cupAlloc.txt").status, ReadStatus::Ok);
  EXPECT_EQ(ScriptFolder(), kept);
  EXPECT_EQ(Get("cupAlloc.txt"), "") << "the link's target is the game's file";
  EXPECT_EQ(Get("script/cupAlloc.txt"), "old");

  // Once the run holding it has gone, the next run takes it; the folder is
  // cleared once per run, not on every touch.
  close(held);
  EXPECT_EQ(files_->ReadFile("C:\\Game\\script\\cupAlloc.txt").status, ReadStatus::Ok);
  EXPECT_NE(std::find(ScriptFolder().begin(), ScriptFolder().end(), "live.corvaldo-cccccc"),
            ScriptFolder().end());
  MakeWineFileSystem(prefix_)->OpenForReplace("C:\\Game\\script\\cupAlloc.txt");
  kept.erase(std::find(kept.begin(), kept.end(), "live.corvaldo-cccccc"));
  EXPECT_EQ(ScriptFolder(), kept);
}

// A run killed between linking a finished backup copy to the backup's name
// and removing the copy's temporary name leaves that name behind: only the
// name may go, never the content the backup shares.
TEST_F(PosixFileSystemTest, AStaleTemporaryThatIsAlsoTheBackupLosesOnlyItsName) {
  Put("script/cupAlloc.txt", "old");
  Put("script/cupAlloc.backup-original.txt", "original");
  ASSERT_EQ(link((game_ + "/script/cupAlloc.backup-original.txt").c_str(),
                 (game_ + "/script/cupAlloc.backup-original.txt.corvaldo-Ab3xYz").c_str()),
            0);
  EXPECT_EQ(files_->ReadFile("C:\\Game\\script\\cupAlloc.txt").status, ReadStatus::Ok);
  EXPECT_EQ(ScriptFolder(), (Names{"cupAlloc.backup-original.txt", "cupAlloc.txt"}));
  EXPECT_EQ(Get("script/cupAlloc.backup-original.txt"), "original");
}

TEST_F(PosixFileSystemTest, AParallelRunNeverTakesALiveTemporary) {
  Put("script/cupAlloc.txt", "old");
  for (const bool unnamed : {true, false}) {
    const std::unique_ptr<FileSystem> run = MakeWineFileSystem(prefix_, unnamed);
    std::unique_ptr<FileWriter> writer = run->OpenForReplace("C:\\Game\\script\\cupAlloc.txt");
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->Write("new"));
    // Another run visits the folder while this one writes.
    MakeWineFileSystem(prefix_, unnamed)->ReadFile("C:\\Game\\script\\cupAlloc.txt");
    ASSERT_TRUE(writer->Commit());
    EXPECT_EQ(Get("script/cupAlloc.txt"), "new");
    EXPECT_EQ(ScriptFolder(), Names{"cupAlloc.txt"});
    Put("script/cupAlloc.txt", "old");
  }
}

TEST_F(PosixFileSystemTest, CopyNoReplaceCopiesOnceAndNeverReplaces) {
  Put("script/cupAlloc.txt", "original", 0604);
  const std::string from = "C:\\Game\\script\\cupAlloc.txt";
  const std::string to = "C:\\Game\\script\\cupAlloc.backup-original.txt";
  ASSERT_TRUE(files_->CopyNoReplace(from, to));
  EXPECT_EQ(Get("script/cupAlloc.backup-original.txt"), "original");
  EXPECT_EQ(Mode("script/cupAlloc.backup-original.txt"), 0604u);

  Put("script/cupAlloc.txt", "changed");
  EXPECT_FALSE(files_->CopyNoReplace(from, to));
  EXPECT_FALSE(files_->CopyNoReplace(from, "C:\\GAME\\SCRIPT\\CUPALLOC.BACKUP-ORIGINAL.TXT"));
  EXPECT_EQ(Get("script/cupAlloc.backup-original.txt"), "original");

  EXPECT_FALSE(files_->CopyNoReplace("C:\\Game\\script\\missing.txt", "C:\\Game\\script\\b.txt"));
  EXPECT_FALSE(files_->CopyNoReplace(from, "C:\\Game\\nowhere\\b.txt"));
  EXPECT_FALSE(files_->CopyNoReplace("C:\\Game\\script", "C:\\Game\\script\\b.txt"));
  EXPECT_EQ(ScriptFolder(), (Names{"cupAlloc.backup-original.txt", "cupAlloc.txt"}));
}

// What counts as a file, so as a backup that is there: a regular file,
// through a link too; a folder, a FIFO or a dangling link is none.
TEST_F(PosixFileSystemTest, ExistsOnlyForARegularFile) {
  Put("script/file.txt", "x");
  fs::create_directory(game_ + "/script/folder");
  ASSERT_EQ(mkfifo((game_ + "/script/fifo").c_str(), 0644), 0);
  fs::create_symlink("file.txt", game_ + "/script/link");
  fs::create_symlink("nowhere.txt", game_ + "/script/dangling");
  const struct {
    const char* name;
    bool exists;
  } cases[] = {{"file.txt", true}, {"FILE.TXT", true},  {"link", true}, {"folder", false},
               {"fifo", false},    {"dangling", false}, {"none", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(files_->Exists(std::string("C:\\Game\\script\\") + c.name), c.exists) << c.name;
  }
}

// A copy from, or a replacement of, a file the run read goes ahead only while
// the file is what was read: another program's change in between, of any
// kind, stops it, and both names stay as that program left them.
TEST_F(PosixFileSystemTest, OnlyWhatTheRunReadIsCopiedOrWrittenOver) {
  const std::string path = "C:\\Game\\script\\cupAlloc.txt";
  const std::string backup = "C:\\Game\\script\\cupAlloc.backup-original.txt";
  const std::string file = game_ + "/script/cupAlloc.txt";
  const auto write = [](const std::string& at, const std::string& bytes, int flags) {
    const int fd = open(at.c_str(), O_WRONLY | O_CREAT | flags, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
  };
  const struct {
    const char* what;
    bool presentWhenRead;
    std::function<void()> change;
    bool goesAhead;
  } cases[] = {
      {"nothing", true, [] {}, true},
      {"nothing, missing", false, [] {}, true},
      {"written in place, same size", true, [&] { write(file, "ORIGINAL", 0); }, false},
      {"appended to", true, [&] { write(file, "+", O_APPEND); }, false},
      {"replaced by a rename", true,
       [&] {
         write(file + ".new", "original", O_TRUNC);
         ASSERT_EQ(rename((file + ".new").c_str(), file.c_str()), 0);
       },
       false},
      {"removed", true, [&] { ASSERT_EQ(unlink(file.c_str()), 0); }, false},
      {"created where it was missing", false, [&] { write(file, "theirs", 0); }, false},
  };
  for (const auto& c : cases) {
    for (const bool copy : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (copy ? ", copied" : ", replaced"));
      fs::remove(file);
      fs::remove(game_ + "/script/cupAlloc.backup-original.txt");
      if (c.presentWhenRead) {
        Put("script/cupAlloc.txt", "original");
        // Written long ago, so that a write now moves its time whatever the
        // file system's tick.
        const struct timespec old[2] = {{978307200, 0}, {978307200, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
      }
      if (copy && !c.presentWhenRead) continue;  // nothing to copy
      std::unique_ptr<FileSystem> run = MakeWineFileSystem(prefix_);
      run->ReadFile(path);
      c.change();
      const bool there = fs::exists(file);
      const std::string left = there ? Get("script/cupAlloc.txt") : "";
      if (copy) {
        EXPECT_EQ(run->CopyNoReplace(path, backup), c.goesAhead);
        EXPECT_EQ(fs::exists(game_ + "/script/cupAlloc.backup-original.txt"), c.goesAhead);
        if (c.goesAhead) {
          EXPECT_EQ(Get("script/cupAlloc.backup-original.txt"), "original");
        }
      } else {
        std::unique_ptr<FileWriter> writer = run->OpenForReplace(path);
        ASSERT_NE(writer, nullptr);
        ASSERT_TRUE(writer->Write("new"));
        EXPECT_EQ(writer->Commit(), c.goesAhead);
      }
      if (copy || !c.goesAhead) {
        EXPECT_EQ(fs::exists(file), there);
        if (there) {
          EXPECT_EQ(Get("script/cupAlloc.txt"), left);
        }
      } else {
        EXPECT_EQ(Get("script/cupAlloc.txt"), "new");
      }
      for (const std::string& name : ScriptFolder()) {
        EXPECT_EQ(name.find(".corvaldo-"), std::string::npos) << name;
      }
    }
  }
}

// One run at a time on an installation, whatever path leads to its folder:
// another waits the whole wait for it, or goes on once it is let go; a dry
// run holds nothing up.
TEST_F(PosixFileSystemTest, OneRunAtATimeHoldsAnInstallation) {
  using namespace std::chrono_literals;
  fs::create_directory_symlink(game_, prefix_ + "/drive_c/Link");
  fs::create_directories(prefix_ + "/drive_c/Other");
  const struct {
    const char* what;
    std::string second;
    bool preview;
    LockStatus status;
  } cases[] = {
      {"the same path", "C:\\Game", false, LockStatus::Busy},
      {"another spelling", "c:\\GAME\\", false, LockStatus::Busy},
      {"through a link", "C:\\Link", false, LockStatus::Busy},
      {"another folder", "C:\\Other", false, LockStatus::Held},
      {"a missing folder", "C:\\Missing", false, LockStatus::Unavailable},
      {"a dry run", "C:\\Game", true, LockStatus::Unavailable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LockResult first = files_->LockInstallation("C:\\Game", 0ms);
    ASSERT_EQ(first.status, LockStatus::Held);
    std::unique_ptr<FileSystem> other = MakeWineFileSystem(prefix_, true, c.preview);
    const auto start = std::chrono::steady_clock::now();
    LockResult second = other->LockInstallation(c.second, 150ms);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(second.status, c.status);
    EXPECT_EQ(second.lock != nullptr, c.status == LockStatus::Held);
    if (c.status == LockStatus::Busy) {
      EXPECT_GE(waited, 150ms);
      // Let go a moment into the next wait: that one then gets it.
      std::thread letGo([&first] {
        std::this_thread::sleep_for(100ms);
        first.lock.reset();
      });
      const auto again = std::chrono::steady_clock::now();
      second = other->LockInstallation(c.second, 10s);
      const auto waitedAgain = std::chrono::steady_clock::now() - again;
      letGo.join();
      EXPECT_EQ(second.status, LockStatus::Held);
      EXPECT_GE(waitedAgain, 100ms);
      EXPECT_LT(waitedAgain, 5s);
    } else {
      EXPECT_LT(waited, 150ms);
    }
  }
  EXPECT_EQ(ScriptFolder(), Names{}) << "a lock leaves nothing behind";
}

}  // namespace
}  // namespace corvaldo
