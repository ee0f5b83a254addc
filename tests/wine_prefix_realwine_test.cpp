// Checks the prefix layer against a prefix that real Wine wrote; the prefix is
// prepared by tests/e2e/wine_registry_test.sh, which names it in
// CORVALDO_WINE_PREFIX. Without it every test is skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "wine/system_reg.h"
#include "wine/wine_prefix.h"

namespace corvaldo {
namespace {

using namespace std::string_literals;

class RealWinePrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* prefix = std::getenv("CORVALDO_WINE_PREFIX");
    if (prefix == nullptr || *prefix == '\0') GTEST_SKIP() << "CORVALDO_WINE_PREFIX is not set";
    prefix_ = prefix;
  }

  std::optional<RegistryValue> Value(const char* name) {
    return ReadPrefixRegistryValue(prefix_, kGameKeyPath, name);
  }

  std::string prefix_;
};

constexpr const char* kGameDir = "C:\\Jogos\\TCM Edi\xE7\xE3o 2005";

TEST_F(RealWinePrefixTest, ReadsTheValuesRegExeWroteFor32BitPrograms) {
  std::optional<RegistryValue> dir = MakeWineRegistry(prefix_)->QueryInstallDir();
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(dir->type, kRegSz);
  EXPECT_EQ(dir->data, kGameDir + "\\\0"s);

  struct Case {
    const char* name;
    std::uint32_t type;
    std::string data;
  };
  const Case cases[] = {
      {"Version", kRegDword, "\x78\x56\x34\x12"},
      {"Data Path", kRegExpandSz, "%ProgramFiles%\\TCM\0"s},
      {"Multi", kRegMultiSz, "a\0b\0\0"s},
      {"Blob", kRegBinary, "\xDE\xAD\xBE\xEF"},
  };
  for (const Case& c : cases) {
    std::optional<RegistryValue> value = Value(c.name);
    ASSERT_TRUE(value.has_value()) << c.name;
    EXPECT_EQ(value->type, c.type) << c.name;
    EXPECT_EQ(value->data, c.data) << c.name;
  }
  EXPECT_FALSE(Value("No Such Value").has_value());
}

TEST_F(RealWinePrefixTest, FindsAndRewritesFilesWineCreated) {
  const std::string script = kGameDir + "\\script\\cupAlloc.txt"s;
  std::unique_ptr<FileSystem> files = MakeWineFileSystem(prefix_);
  ReadResult read = files->ReadFile("c:\\JOGOS\\tcm EDI\xC7\xC3O 2005\\Script\\CUPALLOC.TXT");
  EXPECT_EQ(read.status, ReadStatus::Ok);
  EXPECT_EQ(read.bytes, "corvaldo\r\n");

  ASSERT_TRUE(files->CopyNoReplace(script, kGameDir + "\\script\\cupAlloc.backup-original.txt"s));
  std::unique_ptr<FileWriter> writer = files->OpenForReplace(script);
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(writer->Write("rewritten\r\n"));
  ASSERT_TRUE(writer->Commit());
  EXPECT_EQ(files->ReadFile(script).bytes, "rewritten\r\n");
}

}  // namespace
}  // namespace corvaldo
