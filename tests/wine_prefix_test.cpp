#include "gamefiles/wine_prefix.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace corvaldo {
namespace {

TEST(WinePrefixPathTest, PrefersWineprefixOverHome) {
  const char* savedPrefix = getenv("WINEPREFIX");
  const std::string saved = savedPrefix ? savedPrefix : "";
  setenv("HOME", getenv("HOME") ? getenv("HOME") : "/root", 1);
  const std::string home = getenv("HOME");
  setenv("WINEPREFIX", "/opt/prefix", 1);
  EXPECT_EQ(WinePrefixPath(), "/opt/prefix");
  setenv("WINEPREFIX", "", 1);
  EXPECT_EQ(WinePrefixPath(), home + "/.wine");
  unsetenv("WINEPREFIX");
  EXPECT_EQ(WinePrefixPath(), home + "/.wine");
  if (savedPrefix) setenv("WINEPREFIX", saved.c_str(), 1);
}

}  // namespace
}  // namespace corvaldo
