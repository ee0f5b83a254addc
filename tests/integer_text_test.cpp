#include "patches/integer_text.h"

#include <gtest/gtest.h>

#include "gamefiles/errors.h"

namespace corvaldo {
namespace {

TEST(IntegerText, AcceptsTheGameForms) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"0", 0},
      {"31", 31},
      {" 12", 12},
      {"   +7", 7},
      {"-5", -5},
      {"007", 7},
      {"$1F", 31},
      {"x10", 16},
      {"X10", 16},
      {"0x1a", 26},
      {"0XFF", 255},
      {"-$10", -16},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"$7FFFFFFF", 2147483647},
      {"$FFFFFFFF", -1},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(StrToInt(text), value) << text;
}

TEST(IntegerText, RefusesEverythingElseNamingTheText) {
  const char* const refused[] = {
      "",    " ",          "12 ",         "\t12",       "1a",
      "a",   "+",          "-",           "$",          "0x",
      "1.0", "2147483648", "-2147483649", "$100000000", "99999999999999999999",
      "+-1", "1,5"};
  for (const char* text : refused) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& error) {
      EXPECT_EQ(error.KindName(), "EConvertError");
      EXPECT_EQ(error.Message(), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
}

TEST(IntegerText, WritesPlainDecimal) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(22), "22");
  EXPECT_EQ(IntToStr(-7), "-7");
  EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
}

}  // namespace
}  // namespace corvaldo
