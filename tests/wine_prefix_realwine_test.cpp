// Checks the prefix layer against a prefix that real Wine wrote; the prefix is
// prepared by tests/e2e/wine_registry_test.sh, which names it in
// CORVALDO_WINE_PREFIX. Without it every test is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/wine_registry_index.h"
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

// The keys of a registry file with the names of their values, as its lines
// spell them: only the doubled backslashes of the key names undone.
std::vector<std::pair<std::string, std::vector<std::string>>> KeysOf(const std::string& text) {
  std::vector<std::pair<std::string, std::vector<std::string>>> keys;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("[")) {
      std::string name = line.substr(1, line.rfind(']') - 1);
      for (std::size_t at = 0; (at = name.find("\\\\", at)) != std::string::npos; ++at) {
        name.erase(at, 1);
      }
      keys.push_back({name, {}});
    } else if (line.starts_with("\"") && !keys.empty()) {
      keys.back().second.push_back(line.substr(1, line.find("\"=") - 1));
    }
  }
  return keys;
}

// The section filter gives what the full index of every key gives, on the
// file Wine wrote: for a sample of its keys (every link among them), as
// written and in a 32-bit program's spelling, two of its values, the default
// and a missing one.
TEST_F(RealWinePrefixTest, FilterAgreesWithTheFullIndexOnWinesOwnRegistry) {
  std::ostringstream read;
  read << std::ifstream(prefix_ + "/system.reg", std::ios::binary).rdbuf();
  const std::string text = read.str();
  const WineRegistryIndex index(text);
  const auto keys = KeysOf(text);
  ASSERT_GT(keys.size(), 10000u);
  int queries = 0, found = 0;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const auto& [path, names] = keys[k];
    const bool link = !names.empty() && names[0] == "SymbolicLinkValue";
    if (k % 211 != 0 && !link && path.find("EA SPORTS") == std::string::npos) continue;
    std::vector<std::string> paths = {path};
    if (path.starts_with("Software\\Wow6432Node\\"))
      paths.push_back("Software\\" + path.substr(21));
    for (const std::string& spelling : paths) {
      std::vector<std::string> valueNames(names.begin(),
                                          names.begin() + std::min<std::size_t>(names.size(), 2));
      valueNames.insert(valueNames.end(), {"", "No Such Value"});
      for (const std::string& name : valueNames) {
        const std::optional<RegistryValue> expected = index.Find(spelling, name);
        const std::optional<RegistryValue> filtered = FindWineRegistryValue(text, spelling, name);
        ++queries;
        ASSERT_EQ(filtered.has_value(), expected.has_value()) << spelling << " / " << name;
        if (!expected) continue;
        ++found;
        EXPECT_EQ(filtered->type, expected->type) << spelling << " / " << name;
        EXPECT_EQ(filtered->data, expected->data) << spelling << " / " << name;
      }
    }
  }
  EXPECT_GT(found, queries / 10) << queries << " queries";

  // A key whose name Wine writes with escapes (\x, \[, \]), found both ways.
  const std::string escaped =
      "Software\\EA SPORTS\\TOTAL CLUB MANAGER 2005\\Edi\xE7\xE3o [especial]";
  for (const std::optional<RegistryValue>& value : {FindWineRegistryValue(text, escaped,
                                                                          "Caminho \xAB"
                                                                          "1\xBB"),
                                                    index.Find(escaped,
                                                               "Caminho \xAB"
                                                               "1\xBB")}) {
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->data, "C:\\Jogos\\\"x\"\0"s);
  }
}

}  // namespace
}  // namespace corvaldo
