#include "text/cp1252.h"

#include <gtest/gtest.h>

#include <string>

namespace corvaldo {
namespace {

TEST(Cp1252Test, EveryByteSurvivesTheRoundTripThroughUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(static_cast<unsigned char>(CodePointToCp1252(Cp1252ToCodePoint(b))), b) << b;
  }
}

struct ByteCase {
  unsigned char byte;
  const char* utf8;
};

TEST(Cp1252Test, BytesMapToTheirWindowsCharacters) {
  const ByteCase cases[] = {
      {'A', "A"},
      {0x80, "\xE2\x82\xAC"},  // euro sign
      {0x81, "\xC2\x81"},      // the five undefined bytes map to C1 controls
      {0x8D, "\xC2\x8D"},
      {0x8F, "\xC2\x8F"},
      {0x90, "\xC2\x90"},
      {0x9D, "\xC2\x9D"},
      {0x8A, "\xC5\xA0"},      // S caron
      {0x9F, "\xC5\xB8"},      // Y diaeresis
      {0x96, "\xE2\x80\x93"},  // en dash
      {0xA0, "\xC2\xA0"},
      {0xE7, "\xC3\xA7"},  // c cedilla
      {0xE3, "\xC3\xA3"},  // a tilde
      {0xFF, "\xC3\xBF"},
  };
  for (const ByteCase& c : cases) {
    EXPECT_EQ(Cp1252ToUtf8(std::string(1, static_cast<char>(c.byte))), c.utf8) << int(c.byte);
  }
  EXPECT_EQ(Cp1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::string cp1252;
};

TEST(Cp1252Test, Utf8ConvertsWithQuestionMarksForWhatCp1252Lacks) {
  const Utf8Case cases[] = {
      {"portuguese", "Edi\xC3\xA7\xC3\xA3o", "Edi\xE7\xE3o"},
      {"euro", "\xE2\x82\xAC 5", "\x80 5"},
      {"cjk",
       "a\xE4\xB8\xAD"
       "b",
       "a?b"},
      {"emoji", "\xF0\x9F\x98\x80", "?"},
      {"latin extended A", "\xC4\x80", "?"},
      {"truncated sequence", "a\xC3", "a?"},
      {"lone continuation", "\x80x", "?x"},
      {"overlong slash", "\xC0\xAF", "??"},
      {"surrogate", "\xED\xA0\x80", "???"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????"},
      {"bad continuation", "\xE2\x82z", "??z"},
      {"embedded nul", std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Utf8Case& c : cases) EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << c.name;
}

TEST(Cp1252Test, CodePointsOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(CodePointToCp1252(U'\u20AC'), '\x80');
  EXPECT_EQ(CodePointToCp1252(U'\u0178'), '\x9F');
  EXPECT_EQ(CodePointToCp1252(U'\u0081'), '\x81');
  EXPECT_EQ(CodePointToCp1252(U'\u0100'), '?');
  EXPECT_EQ(CodePointToCp1252(0xD800), '?');
  EXPECT_EQ(CodePointToCp1252(0x110000), '?');
}

}  // namespace
}  // namespace corvaldo
