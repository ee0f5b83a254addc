#include "wine/system_reg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

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

}  // namespace
}  // namespace corvaldo
