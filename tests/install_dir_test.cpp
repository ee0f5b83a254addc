#include "gamefiles/install_dir.h"

#include <gtest/gtest.h>

#include "app/apply_patches.h"
#include "gamefiles/errors.h"
#include "test_support.h"

namespace corvaldo {
namespace {

using fakes::FakeRegistry;
using fakes::FakeUi;

std::optional<RegistryValue> Value(std::uint32_t type, std::string data) {
  return RegistryValue{type, std::move(data)};
}

TEST(LocateGame, TurnsTheValueIntoInstallDir) {
  const struct {
    std::optional<RegistryValue> value;
    std::optional<std::string> expected;
  } cases[] = {
      {Value(kRegSz, std::string("C:\\Games\\TCM\\\0", 14)), "C:\\Games\\TCM"},
      {Value(kRegSz, std::string("C:\\Games\\TCM\\\\\0", 15)), "C:\\Games\\TCM\\"},
      {Value(kRegSz, std::string("C:\\Games\\TCM\0", 13)), "C:\\Games\\TCM"},
      {Value(kRegSz, "C:\\NoNul"), "C:\\NoNul"},
      {Value(kRegSz, std::string(" C:\\TCM \0", 9)), " C:\\TCM "},
      {Value(kRegExpandSz, std::string("%ProgramFiles%\\TCM\0", 19)), "%ProgramFiles%\\TCM"},
      {Value(kRegSz, std::string("C:\\TCM\0junk\0", 12)), "C:\\TCM"},
      {Value(kRegSz, std::string("\\\0", 2)), ""},
      {Value(kRegSz, std::string("C:\\Jogos\\Edi\xE7\xE3o\0", 16)), "C:\\Jogos\\Edi\xE7\xE3o"},
      // Not installed: no value, empty, a lone NUL, blanks.
      {std::nullopt, std::nullopt},
      {Value(kRegSz, ""), std::nullopt},
      {Value(kRegSz, std::string("\0", 1)), std::nullopt},
      {Value(kRegSz, std::string("   \0", 4)), std::nullopt},
      {Value(kRegDword, ""), std::nullopt},  // size 0 is read as missing, whatever its type
  };
  for (const auto& c : cases) {
    for (bool silent : {false, true}) {
      FakeRegistry registry(c.value);
      FakeUi ui;
      EXPECT_EQ(FindInstallation(registry, ui, silent), c.expected)
          << (c.value ? ::testing::PrintToString(c.value->data) : "absent");
      const bool toldNotInstalled = !c.expected && !silent;
      ASSERT_EQ(ui.dialogs.size(), toldNotInstalled ? 1u : 0u);
      if (toldNotInstalled) {
        EXPECT_EQ(ui.dialogs[0].first, "O TCM 2005 n\xE3o est\xE1 instalado!");
        EXPECT_EQ(ui.dialogs[0].second, 0);
      }
    }
  }
}

TEST(LocateGame, OtherValueTypesRaiseEvenWhenSilent) {
  for (std::uint32_t type : {kRegBinary, kRegDword, kRegMultiSz, 0u, 11u}) {
    FakeRegistry registry(Value(type, std::string("C:\\\0", 4)));
    FakeUi ui;
    try {
      LocateGame(registry);
      ADD_FAILURE() << type;
    } catch (const ERegistryException& error) {
      EXPECT_EQ(error.Message(), "Invalid data type for 'Install Dir'");
    }
    EXPECT_TRUE(ui.dialogs.empty());
  }
}

}  // namespace
}  // namespace corvaldo
