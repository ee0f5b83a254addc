// The temporary file's one life: each outcome, a drop without one, and what a
// killed holder leaves for the next cleanup.
#include "gamefiles/temp_file_posix.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace corvaldo {
namespace {

namespace fs = std::filesystem;

class TempFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvaldo-temp-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  void Put(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::optional<TempFile> Create(bool unnamed) {
    std::optional<TempFile> temp = TempFile::CreateBeside(folder_, "Rules.sav", unnamed);
    if (temp) {
      EXPECT_TRUE(WriteAll(temp->fd(), "new", 3));
    }
    return temp;
  }

  std::string folder_;
};

enum class Outcome { Keep, KeepNoReplace, Discard, Drop };

TEST_F(TempFileTest, EachOutcomeLeavesTheTargetAndNoTemporary) {
  struct Case {
    const char* what;
    Outcome outcome;
    bool targetThere;
    bool kept;            // what Keep or KeepNoReplace answers
    int error;            // errno after a refusal
    const char* content;  // at the target afterwards; null for no file
  };
  const Case cases[] = {
      {"kept at a new name", Outcome::Keep, false, true, 0, "new"},
      {"kept over an existing file", Outcome::Keep, true, true, 0, "new"},
      {"kept without replacing, name free", Outcome::KeepNoReplace, false, true, 0, "new"},
      {"kept without replacing, name taken", Outcome::KeepNoReplace, true, false, EEXIST, "old"},
      {"discarded", Outcome::Discard, true, false, 0, "old"},
      {"discarded, no target", Outcome::Discard, false, false, 0, nullptr},
      {"dropped without an outcome", Outcome::Drop, true, false, 0, "old"},
      {"dropped, no target", Outcome::Drop, false, false, 0, nullptr},
  };
  for (const bool unnamed : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (unnamed ? ", unnamed" : ", named"));
      fs::remove(Path("Rules.sav"));
      if (c.targetThere) Put("Rules.sav", "old");
      {
        std::optional<TempFile> temp = Create(unnamed);
        ASSERT_TRUE(temp);
        if (!unnamed) {
          EXPECT_EQ(Names().size(), c.targetThere ? 2u : 1u) << "named from the start";
        }
        errno = 0;
        switch (c.outcome) {
          case Outcome::Keep:
            EXPECT_EQ(temp->Keep(Path("Rules.sav")), c.kept);
            break;
          case Outcome::KeepNoReplace:
            EXPECT_EQ(temp->KeepNoReplace(Path("Rules.sav")), c.kept);
            if (!c.kept) {
              EXPECT_EQ(errno, c.error);
            }
            break;
          case Outcome::Discard:
            temp->Discard();
            break;
          case Outcome::Drop:
            break;
        }
        if (c.outcome != Outcome::Drop) {
          // One life: no second outcome, and a late discard takes nothing.
          EXPECT_FALSE(temp->Keep(Path("Other.sav")));
          EXPECT_FALSE(temp->KeepNoReplace(Path("Other.sav")));
          temp->Discard();
        }
      }
      const std::vector<std::string> expected =
          c.content ? std::vector<std::string>{"Rules.sav"} : std::vector<std::string>{};
      EXPECT_EQ(Names(), expected);
      if (c.content) {
        EXPECT_EQ(Get("Rules.sav"), c.content);
      }
    }
  }
}

// Forks a process that makes a named temporary file, writes into it and then
// waits to be killed; returns once the file is there.
pid_t HoldTempFile(const std::string& folder) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    std::optional<TempFile> temp = TempFile::CreateBeside(folder, "Rules.sav", false);
    const bool made = temp && WriteAll(temp->fd(), "partial", 7);
    if (write(ready[1], made ? "y" : "n", 1) != 1 || !made) _exit(1);
    for (;;) pause();
  }
  close(ready[1]);
  char answer = 'n';
  const bool made = child > 0 && read(ready[0], &answer, 1) == 1 && answer == 'y';
  close(ready[0]);
  return made ? child : -1;
}

void Kill(pid_t child) {
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST_F(TempFileTest, AKilledHoldersFileIsClearedAndALiveOneKept) {
  Put("Rules.sav", "old");
  const pid_t killed = HoldTempFile(folder_);
  ASSERT_GT(killed, 0);
  const std::vector<std::string> leftover = Names();
  Kill(killed);
  const pid_t live = HoldTempFile(folder_);
  ASSERT_GT(live, 0);
  std::vector<std::string> held = Names();
  ASSERT_EQ(leftover.size(), 2u);
  ASSERT_EQ(held.size(), 3u);
  for (const std::string& name : leftover) {
    held.erase(std::remove(held.begin(), held.end(), name), held.end());
  }
  ASSERT_EQ(held.size(), 1u);
  EXPECT_TRUE(IsTempName(held[0])) << held[0];

  RemoveStaleTemps(folder_);
  std::vector<std::string> expected = {"Rules.sav", held[0]};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(), expected) << "the killed run's file goes, the live one stays";
  EXPECT_EQ(Get("Rules.sav"), "old");

  Kill(live);
  RemoveStaleTemps(folder_);
  EXPECT_EQ(Names(), std::vector<std::string>{"Rules.sav"}) << "once its holder is gone, it goes";
  EXPECT_EQ(Get("Rules.sav"), "old");
}

}  // namespace
}  // namespace corvaldo
