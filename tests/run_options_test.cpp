#include "app/run_options.h"

#include <gtest/gtest.h>

namespace corvaldo {
namespace {

struct Case {
  std::vector<std::string> arguments;
  // rules, cup script, country default, silent, backups
  bool expected[5];
};

TEST(ParseCommandLine, SelectsPatchesFromSwitches) {
  const Case cases[] = {
      {{}, {false, true, false, false, false}},
      {{"/R", "/B"}, {true, false, false, false, true}},
      {{"/td", "/tp"}, {false, true, false, false, false}},
      {{"/tp", "/td"}, {false, true, false, false, false}},
      {{"/td", "/r"}, {true, false, true, false, false}},
      {{"/S"}, {false, true, false, true, false}},
      {{"/b"}, {false, true, false, false, true}},
      {{"-r", "r", "/rules", "/t", "/r ", " /r", "/"}, {false, true, false, false, false}},
      {{"/Tp", "/tD", "/r", "/r", "/s", "/b"}, {true, true, false, true, true}},
      // Only ASCII letters are lowered: a dotted capital I stays what it is.
      {{"/\xC9"}, {false, true, false, false, false}},
  };
  for (const Case& c : cases) {
    const RunOptions o = ParseCommandLine(c.arguments);
    const bool got[5] = {o.PatchRules, o.PatchCupScript, o.PatchCountryDefault, o.Silent,
                         o.MakeBackups};
    std::string args;
    for (const auto& a : c.arguments) args += "[" + a + "]";
    for (int i = 0; i < 5; ++i) EXPECT_EQ(got[i], c.expected[i]) << args << " option " << i;
  }
}

// "/u" in any case asks for a restore, whatever else is given; nothing else
// does.
TEST(ParseCommandLine, RestoreSwitch) {
  const struct {
    std::vector<std::string> arguments;
    bool restore;
  } cases[] = {
      {{"/u"}, true},       {{"/U", "/s"}, true},      {{"/tp", "/r", "/b", "/u"}, true},
      {{"-u", "u"}, false}, {{"/undo", "/u "}, false}, {{"--restore"}, false},
      {{}, false},
  };
  for (const auto& c : cases) {
    std::string args;
    for (const auto& a : c.arguments) args += "[" + a + "]";
    EXPECT_EQ(ParseCommandLine(c.arguments).Restore, c.restore) << args;
  }
}

}  // namespace
}  // namespace corvaldo
