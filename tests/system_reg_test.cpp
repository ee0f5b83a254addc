#include "wine/system_reg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/wine_registry.h"
#include "support/wine_registry_index.h"

namespace corvaldo {
namespace {

constexpr const char* kHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
constexpr const char* kGameSection =
    "[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005] 1796690262\n"
    "#time=1dd86ac5627421a\n";

std::string Win64Registry(const std::string& body) {
  return std::string(kHeader) + "#arch=win64\n\n" + kGameSection + body + "\n";
}

std::optional<RegistryValue> FindGameValue(const std::string& text, const char* name = "v") {
  return FindWineRegistryValue(text, kGameKeyPath, name);
}

struct ValueCase {
  const char* line;  // the value line as Wine writes it, named "v"
  std::uint32_t type;
  std::string data;
};

TEST(WineRegistryTest, DecodesValuesToWhatRegQueryValueExAReturns) {
  using namespace std::string_literals;
  const ValueCase cases[] = {
      {R"("v"="C:\\TCM")", kRegSz, "C:\\TCM\0"s},
      {R"("v"="")", kRegSz, "\0"s},
      {R"("v"="a\"b\n\r\t\0c")", kRegSz, "a\"b\n\r\t\0c\0"s},
      {R"("v"="\a\b\e\f\v")", kRegSz, "\a\b\x1B\f\v\0"s},
      {R"("v"="Edi\xe7\xe3o")", kRegSz, "Edi\xE7\xE3o\0"s},
      {R"("v"="\x00e7a")", kRegSz,
       "\xE7"
       "a\0"s},                            // padded before a hex digit
      {R"("v"="\xe7a")", kRegSz, "?\0"s},  // so this is U+0E7A
      {R"("v"="\x20ac")", kRegSz, "\x80\0"s},
      {R"("v"="\101\0\60")", kRegSz,
       "A\0"
       "0\0"s},  // octal escapes, at most three digits
      {R"("v"="\1010")", kRegSz, "A0\0"s},
      {R"("v"="\q\xg")", kRegSz, "qxg\0"s},
      {"\"v\"=\"Edi\xC3\xA7\xC3\xA3o \xE2\x82\xAC\"", kRegSz, "Edi\xE7\xE3o \x80\0"s},
      {"\"v\"=\"\xE4\xB8\xAD\xF0\x9F\x98\x80\"", kRegSz,
       "???\0"s},                          // one BMP unit, a surrogate pair
      {"\"v\"=\"\xFF\"", kRegSz, "?\0"s},  // invalid UTF-8
      {R"("v"="x" trailing text)", kRegSz, "x\0"s},
      {R"("v"=str:"x")", kRegSz, "x\0"s},
      {R"("v"=str(2):"%ProgramFiles%\\TCM")", kRegExpandSz, "%ProgramFiles%\\TCM\0"s},
      {R"("v"=str(7):"a\0b\0")", kRegMultiSz, "a\0b\0\0"s},
      {R"("v"=dword:12345678)", kRegDword, "\x78\x56\x34\x12"s},
      {R"("v"=dword:1)", kRegDword, "\x01\0\0\0"s},
      {R"("v"=hex:de,ad,BE,ef)", kRegBinary, "\xDE\xAD\xBE\xEF"s},
      {R"("v"=hex:)", kRegBinary, ""},
      {R"("v"=hex:0,1)", kRegBinary, "\0\x01"s},
      {R"("v"=hex(2):43,00,3a,00,5c,00,e7,00,ac,20,00,00)", kRegExpandSz, "C:\\\xE7\x80\0"s},
      {"\"v\"=hex(1):43,00,\\\n  3a,00,\\\n  00,00", kRegSz, "C:\0"s},
      {R"("v"=hex(7):41,00,42)", kRegMultiSz, "A"},  // an odd last byte is dropped
      {R"("v"=hex(100):01)", 0x100, "\x01"},
      {R"("v"=hex(0):)", 0, ""},
      {"  \"v\" = \"spaced\"", kRegSz, "spaced\0"s},
  };
  for (const ValueCase& c : cases) {
    std::optional<RegistryValue> value = FindGameValue(Win64Registry(c.line));
    ASSERT_TRUE(value.has_value()) << c.line;
    EXPECT_EQ(value->type, c.type) << c.line;
    EXPECT_EQ(value->data, c.data) << c.line;
  }
}

TEST(WineRegistryTest, SkipsMalformedValueLines) {
  const char* lines[] = {
      R"("v"="unterminated)",
      R"("v"="ends in a backslash\)",
      R"("v"=dword:)",
      R"("v"=dword:123456789)",
      R"("v"=dword:12x)",
      R"("v"=hex:0g)",
      R"("v"=hex:123)",
      R"("v"=hex(2:00)",
      R"("v"=hex():00)",
      R"("v"=hex(123456789):00)",
      "\"v\"=hex:00,\\",  // a continuation with no next line
      R"("v"=str(3):"x")",
      R"("v"=unknown:1)",
      R"("v" "x")",
      R"("v)",
      R"("v"=)",
  };
  for (const char* line : lines) {
    EXPECT_FALSE(FindGameValue(Win64Registry(line)).has_value()) << line;
    // A good definition of the same value still counts, before or after.
    std::optional<RegistryValue> value =
        FindGameValue(Win64Registry(std::string(line) + "\n\"v\"=dword:7"));
    ASSERT_TRUE(value.has_value()) << line;
    EXPECT_EQ(value->data, std::string("\x07\0\0\0", 4)) << line;
  }
}

TEST(WineRegistryTest, FindsTheKeyAsA32BitProcessSeesIt) {
  const std::string game64 =
      "[Software\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005]\n\"Install Dir\"=\"C:\\\\64\"\n";
  const std::string game32 =
      "[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005]\n"
      "\"Install Dir\"=\"C:\\\\32\"\n";
  struct Case {
    const char* name;
    std::string text;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"win64 reads Wow6432Node", std::string(kHeader) + "#arch=win64\n" + game64 + game32,
       std::string("C:\\32", 6)},
      {"win64 ignores the 64-bit view", std::string(kHeader) + "#arch=win64\n" + game64,
       std::nullopt},
      {"win32 reads Software", std::string(kHeader) + "#arch=win32\n" + game32 + game64,
       std::string("C:\\64", 6)},
      {"win32 ignores Wow6432Node", std::string(kHeader) + "#arch=win32\n" + game32, std::nullopt},
      {"no arch line, 64-bit keys", std::string(kHeader) + game64 + game32,
       std::string("C:\\32", 6)},
      {"no arch line, 32-bit keys", std::string(kHeader) + game64, std::string("C:\\64", 6)},
      {"names in other cases",
       std::string(kHeader) +
           "#arch=win64\n[software\\\\WOW6432NODE\\\\ea sports\\\\Total Club Manager 2005]\n"
           "\"INSTALL dir\"=\"C:\\\\x\"\n",
       std::string("C:\\x", 5)},
      {"CR LF lines",
       std::string(kHeader) + "#arch=win32\r\n" +
           "[Software\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005] 1\r\n"
           "\"Install Dir\"=\"C:\\\\x\"\r\n",
       std::string("C:\\x", 5)},
      {"value in a subkey only",
       std::string(kHeader) +
           "#arch=win64\n[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005\\\\Sub]\n"
           "\"Install Dir\"=\"C:\\\\x\"\n",
       std::nullopt},
      {"sections merge, later wins",
       std::string(kHeader) + "#arch=win32\n" +
           "[Software\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005]\n\"Install Dir\"=\"C:\\\\a\"\n"
           "[Other]\n\"Install Dir\"=\"C:\\\\other\"\n"
           "[Software\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005]\n\"Install Dir\"=\"C:\\\\b\"\n",
       std::string("C:\\b", 5)},
      {"not a Wine registry", "REGEDIT4\n" + game32, std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<RegistryValue> value =
        FindWineRegistryValue(c.text, kGameKeyPath, kInstallDirValueName);
    ASSERT_EQ(value.has_value(), c.expected.has_value()) << c.name;
    if (value) {
      EXPECT_EQ(value->data, *c.expected) << c.name;
    }
  }
}

TEST(WineRegistryTest, MatchesNonAsciiNamesAndTheDefaultValue) {
  const std::string text = std::string(kHeader) +
                           "#arch=win32\n[Software\\\\Jogos \\xc9poca]\n"
                           "@=\"default\"\n\"Caf\xC3\xA9\"=\"cafe\"\n";
  std::optional<RegistryValue> value = FindWineRegistryValue(text, "SOFTWARE\\JOGOS \xE9POCA", "");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->data, std::string("default", 8));
  value = FindWineRegistryValue(text, "Software\\Jogos \xC9poca", "CAF\xC9");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->data, std::string("cafe", 5));
}

// "\REGISTRY\Machine\Software\Games" as hex(6) UTF-16LE.
std::string LinkValue(const std::string& target) {
  std::string line = "\"SymbolicLinkValue\"=hex(6):";
  char buffer[8];
  for (std::size_t i = 0; i < target.size(); ++i) {
    snprintf(buffer, sizeof buffer, "%s%02x,00", i ? "," : "", target[i]);
    line += buffer;
  }
  return line + "\n";
}

TEST(WineRegistryTest, FollowsRegistryLinks) {
  const std::string linked =
      std::string(kHeader) + "#arch=win64\n[Software\\\\Wow6432Node\\\\EA SPORTS] 1\n#link\n" +
      LinkValue("\\REGISTRY\\Machine\\Software\\Games") +
      "[Software\\\\Games\\\\TOTAL CLUB MANAGER 2005] 1\n\"Install Dir\"=\"C:\\\\linked\"\n";
  std::optional<RegistryValue> value =
      FindWineRegistryValue(linked, kGameKeyPath, kInstallDirValueName);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->data, std::string("C:\\linked", 10));

  const std::string loop = std::string(kHeader) +
                           "#arch=win32\n[Software\\\\EA SPORTS] 1\n#link\n" +
                           LinkValue("\\REGISTRY\\Machine\\Software\\EA SPORTS");
  EXPECT_FALSE(FindWineRegistryValue(loop, kGameKeyPath, kInstallDirValueName).has_value());
}

TEST(WineRegistryTest, TruncatedFilesNeverYieldAWrongValue) {
  const std::string text = Win64Registry(R"("Other"=hex:00,01,\
  02
"Install Dir"="C:\\Jogos\\TCM Edi\xe7\xe3o 2005")");
  const std::string expected = std::string("C:\\Jogos\\TCM Edi\xE7\xE3o 2005") + '\0';
  const std::size_t closingQuote = text.rfind('"');
  for (std::size_t length = 0; length <= text.size(); ++length) {
    std::optional<RegistryValue> value =
        FindWineRegistryValue(text.substr(0, length), kGameKeyPath, kInstallDirValueName);
    if (length <= closingQuote) {
      EXPECT_FALSE(value.has_value()) << length;
    } else {
      ASSERT_TRUE(value.has_value()) << length;
      EXPECT_EQ(value->data, expected);
    }
  }
}

// ---------------------------------------------------------------------------
// The section filter (FindWineRegistryValue) must give, for every text and
// query, what decoding every key into an index gives.

void ExpectSameAsIndex(const std::string& text, const WineRegistryIndex& index,
                       const std::string& key, const std::string& name, int* found = nullptr,
                       SystemRegReader* reader = nullptr) {
  const std::optional<RegistryValue> expected = index.Find(key, name);
  const std::optional<RegistryValue> filtered =
      reader ? reader->FindInText(text, key, name) : FindWineRegistryValue(text, key, name);
  ASSERT_EQ(filtered.has_value(), expected.has_value()) << key << " / " << name;
  if (expected) {
    EXPECT_EQ(filtered->type, expected->type) << key << " / " << name;
    EXPECT_EQ(filtered->data, expected->data) << key << " / " << name;
    if (found) ++*found;
  }
}

// The queries made of one key of the file: as written, in the 32-bit
// program's view (through Wine's links where the views share a key), in other
// cases and with stray separators; each value, the default and a missing one.
std::vector<std::pair<std::string, std::string>> QueriesFor(
    const bench::SyntheticRegistry::Key& key) {
  std::vector<std::string> paths = {key.path};
  const std::string wow = "Software\\Wow6432Node\\";
  if (key.path.starts_with(wow)) paths.push_back("Software\\" + key.path.substr(wow.size()));
  std::string lower = key.path;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  paths.push_back(lower);
  paths.push_back("\\" + key.path + "\\\\");
  std::vector<std::pair<std::string, std::string>> queries = {{key.path, ""},
                                                              {key.path, "No Such Value"}};
  for (const std::string& name : key.valueNames) queries.emplace_back(key.path, name);
  for (const std::string& path : paths) {
    queries.emplace_back(path, key.valueNames.empty() ? "" : key.valueNames.back());
  }
  return queries;
}

TEST(WineRegistryFilterTest, AgreesWithTheFullIndexOnWineShapedRegistries) {
  struct Shape {
    const char* name;
    bench::RegistryShape shape;
  };
  const Shape shapes[] = {
      {"win64", {.keys = 1200, .seed = 1}},
      {"no #arch line", {.keys = 1200, .archLine = false, .seed = 2}},
      {"CR LF", {.keys = 1200, .crlf = true, .seed = 3}},
      {"no game", {.keys = 1200, .withGame = false, .seed = 4}},
  };
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.name);
    const bench::SyntheticRegistry registry = bench::MakeWineSystemReg(s.shape, 20);
    const WineRegistryIndex index(registry.text);
    int queries = 0, found = 0;
    for (const auto& key : registry.sample) {
      for (const auto& [path, name] : QueriesFor(key)) {
        ExpectSameAsIndex(registry.text, index, path, name, &found);
        ++queries;
      }
    }
    for (const char* name : {"Install Dir", "Language", "Version", ""}) {
      ExpectSameAsIndex(registry.text, index, kGameKeyPath, name, &found);
    }
    // Not an agreement of absences only: in the 32-bit view keys outside
    // Wow6432Node are mostly out of sight, the others found in every spelling.
    EXPECT_GT(found, static_cast<int>(registry.sample.size()) / 4) << queries << " queries";
    const std::optional<RegistryValue> dir =
        FindWineRegistryValue(registry.text, kGameKeyPath, kInstallDirValueName);
    EXPECT_EQ(dir.has_value(), s.shape.withGame);
    if (dir) {
      EXPECT_EQ(dir->data, std::string(bench::kSyntheticInstallDir) + '\0');
    }
  }
}

TEST(WineRegistryFilterTest, AgreesWhereverTheReadsCutTheText) {
  const bench::SyntheticRegistry registry =
      bench::MakeWineSystemReg({.keys = 300, .crlf = true, .seed = 5}, 10);
  const WineRegistryIndex index(registry.text);
  for (std::size_t chunk : {1, 2, 3, 7, 64, 1000, 4096}) {
    SCOPED_TRACE(chunk);
    SystemRegReader reader(chunk);
    for (const auto& key : registry.sample) {
      ExpectSameAsIndex(registry.text, index, key.path,
                        key.valueNames.empty() ? "" : key.valueNames[0], nullptr, &reader);
    }
    ExpectSameAsIndex(registry.text, index, kGameKeyPath, kInstallDirValueName, nullptr, &reader);
  }
  // A line longer than a read, in the game's key and around it.
  const std::string longLine(300000, 'x');
  const std::string text = Win64Registry("\"Long\"=\"" + longLine + "\"\n\"v\"=dword:7\n") +
                           "[Other] 1\n\"" + longLine + "\"=\"\"\n" + kGameSection + "\"w\"=\"\"\n";
  const WineRegistryIndex longIndex(text);
  for (const char* name : {"Long", "v", "w"}) {
    ExpectSameAsIndex(text, longIndex, kGameKeyPath, name);
  }
}

// Header spellings the raw-byte check must not pass over, and near misses it
// must not take for the key.
TEST(WineRegistryFilterTest, DecodesEveryHeaderThatMayNameTheKey) {
  using namespace std::string_literals;
  const struct {
    std::string header;
    bool names;
  } cases[] = {
      {"[software\\\\wow6432node\\\\ea sports\\\\total club manager 2005]", true},
      {" \t\v\f\r[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005] 1", true},
      {"[\\\\Software\\\\\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005\\\\]", true},
      {"[Software\\x5cWow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005]", true},
      {"[Software\\\\Wow6432Node\\\\\\x45\\x41 SPORTS\\\\TOTAL CLUB MANAGER 2005]", true},
      {"[Software\\\\Wow6432Node\\\\\\x45A SPORTS\\\\TOTAL CLUB MANAGER 2005]", false},  // U+045A
      {"[Software\\\\Wow6432Node\\\\\\x0045A SPORTS\\\\TOTAL CLUB MANAGER 2005]", true},
      {"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 200\\65]", true},
      {"[Software\\\\Wow6432Node\\\\EA\\ SPORTS\\\\TOTAL CLUB MANAGER 2005]", true},
      {"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005\\\\\\\\]x", true},
      {"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005\\]]", false},
      {"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 20055]", false},
      {"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 200]", false},
      {"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005\\\\Sub]", false},
      {"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005\r", false},
      {"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER\xC2\xA0"
       "2005]",
       false},
      {"[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB\0MANAGER 2005]"s, false},
      {"[Software\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005]", false},
      {"x [Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2005]", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    // Other keys around it, one sharing every byte but the last.
    const std::string text = std::string(kHeader) + "#arch=win64\n\n" +
                             "[Software\\\\Wow6432Node\\\\EA SPORTS\\\\TOTAL CLUB MANAGER 2004]\n"
                             "\"Install Dir\"=\"C:\\\\2004\"\n" +
                             c.header + "\n\"Install Dir\"=\"C:\\\\x\"\n[Z]\n";
    const std::optional<RegistryValue> value =
        FindWineRegistryValue(text, kGameKeyPath, kInstallDirValueName);
    EXPECT_EQ(value.has_value(), c.names);
    ExpectSameAsIndex(text, WineRegistryIndex(text), kGameKeyPath, kInstallDirValueName);
  }
}

// Links whose targets come before them in the file, as in Wine's sorted
// files, and links in chains and loops: the filter reads the text again for
// each key a link leads to.
TEST(WineRegistryFilterTest, FollowsLinksWhereverTheirTargetsAre) {
  const std::string game = "[Games\\\\TCM] 1\n\"Install Dir\"=\"C:\\\\linked\"\n";
  const std::string hop1 = "[Software\\\\Wow6432Node\\\\EA SPORTS] 1\n#link\n" +
                           LinkValue("\\REGISTRY\\Machine\\Hop\\Two");
  const std::string hop2 = "[Hop\\\\Two\\\\TOTAL CLUB MANAGER 2005] 1\n#link\n" +
                           LinkValue("\\REGISTRY\\Machine\\Games\\TCM");
  const std::string loop = "[Hop\\\\Two] 1\n#link\n" +
                           LinkValue("\\REGISTRY\\Machine\\Software\\Wow6432Node\\EA SPORTS");
  const std::string head = std::string(kHeader) + "#arch=win64\n";
  const struct {
    const char* name;
    std::string text;
    std::optional<std::string> expected;
  } cases[] = {
      {"target first", head + game + hop2 + hop1, std::string("C:\\linked", 10)},
      {"links first", head + hop1 + hop2 + game, std::string("C:\\linked", 10)},
      {"a loop", head + hop1 + loop, std::nullopt},
      {"#link in a second section of the key",
       head + game + hop2 + "[Software\\\\Wow6432Node\\\\EA SPORTS] 1\n" +
           LinkValue("\\REGISTRY\\Machine\\Hop\\Two") +
           "[Software\\\\Wow6432Node\\\\EA SPORTS]\n#link\n",
       std::string("C:\\linked", 10)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<RegistryValue> value =
        FindWineRegistryValue(c.text, kGameKeyPath, kInstallDirValueName);
    ASSERT_EQ(value.has_value(), c.expected.has_value());
    if (value) {
      EXPECT_EQ(value->data, *c.expected);
    }
    ExpectSameAsIndex(c.text, WineRegistryIndex(c.text), kGameKeyPath, kInstallDirValueName);
  }
}

// A prefix's system.reg as the run must tell them apart: not there, or not a
// registry (the game not installed), or there and unreadable (an error).
TEST(PrefixRegistryTest, TellsAMissingFileFromOneThatCannotBeRead) {
  using Status = PrefixRegistry::Status;
  char pattern[] = "/tmp/corvaldo-reg-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path root = pattern;
  const auto put = [](const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  };
  const struct {
    const char* what;
    std::function<void(const std::filesystem::path& prefix)> make;
    Status status;
    int error;
    bool value;
  } cases[] = {
      {"no prefix", [](const auto&) {}, Status::Missing, 0, false},
      {"no system.reg", [](const auto& p) { std::filesystem::create_directory(p); },
       Status::Missing, 0, false},
      {"a folder", [](const auto& p) { std::filesystem::create_directories(p / "system.reg"); },
       Status::NotRegistry, 0, false},
      {"without the key",
       [&](const auto& p) {
         std::filesystem::create_directory(p);
         put(p / "system.reg", std::string(kHeader) + "#arch=win64\n");
       },
       Status::Read, 0, false},
      {"with the value",
       [&](const auto& p) {
         std::filesystem::create_directory(p);
         put(p / "system.reg", Win64Registry("\"Install Dir\"=\"C:\\\\TCM\""));
       },
       Status::Read, 0, true},
      // Reading this process's memory at offset 0 fails with EIO after the open.
      {"a read error",
       [](const auto& p) {
         std::filesystem::create_directory(p);
         std::filesystem::create_symlink("/proc/self/mem", p / "system.reg");
       },
       Status::Unreadable, EIO, false},
      {"under a file", [&](const auto& p) { put(p, "not a folder"); }, Status::Missing, 0, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::filesystem::path prefix = root / std::to_string(n++);
    c.make(prefix);
    const PrefixRegistry read = ReadPrefixRegistry(prefix, kGameKeyPath, kInstallDirValueName);
    EXPECT_EQ(read.status, c.status) << c.what;
    EXPECT_EQ(read.error, c.error) << c.what;
    EXPECT_EQ(read.value.has_value(), c.value) << c.what;
  }
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace corvaldo
