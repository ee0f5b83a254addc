#include "patches/rules_patch.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace corvaldo {
namespace {

using fakes::CrLf;
using fakes::kRules;
using fakes::kRulesBackup;
using V = std::vector<std::string>;

V RulesLines(std::size_t count, const std::string& line31, const std::string& line34) {
  V lines;
  for (std::size_t i = 1; i <= count; ++i) lines.push_back("rule " + std::to_string(i));
  if (count >= 31) lines[30] = line31;
  if (count >= 34) lines[33] = line34;
  return lines;
}

std::optional<std::string> Patch(const std::string& content, bool backups = false,
                                 std::optional<std::string>* backup = nullptr) {
  MemoryFileSystem fs;
  fs.AddFile(kRules, content);
  RunOptions options;
  options.PatchRules = true;
  options.MakeBackups = backups;
  PatchState state(options, fs);
  state.InstallDir = fakes::kDir;
  ApplyRulesPatch(state);
  if (backup) *backup = fs.Content(kRulesBackup);
  return fs.Content(kRules);
}

TEST(RulesPatch, SetsLines31And34Only) {
  const struct {
    V input;
    std::optional<V> output;  // nothing when the file must stay as it is
  } cases[] = {
      {RulesLines(40, "2490379", "2490375"), std::nullopt},
      {RulesLines(40, "2490379", "0"), RulesLines(40, "2490379", "2490375")},
      {RulesLines(40, "2490379 ", "2490375"), RulesLines(40, "2490379", "2490375")},
      {RulesLines(40, " 2490379", "2490375"), RulesLines(40, "2490379", "2490375")},
      {RulesLines(31, "x", ""), RulesLines(31, "2490379", "")},
      {RulesLines(33, "2490379", ""), std::nullopt},
      {RulesLines(34, "2490379", "x"), RulesLines(34, "2490379", "2490375")},
      {RulesLines(30, "", ""), std::nullopt},
      {{}, std::nullopt},
  };
  for (const auto& c : cases) {
    const std::string content = CrLf(c.input);
    std::optional<std::string> backup;
    EXPECT_EQ(Patch(content, true, &backup), c.output ? CrLf(*c.output) : content)
        << c.input.size();
    EXPECT_EQ(backup, c.output ? std::optional(content) : std::nullopt);
  }
}

TEST(RulesPatch, RewriteNormalisesLineEndsAndSettles) {
  V lines = RulesLines(35, "a", "b");
  std::string lf;
  for (const auto& line : lines) lf += line + "\n";
  lf.pop_back();
  const auto first = Patch(lf);
  EXPECT_EQ(first, CrLf(RulesLines(35, "2490379", "2490375")));
  EXPECT_EQ(Patch(*first), first);
}

}  // namespace
}  // namespace corvaldo
