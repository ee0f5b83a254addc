#include "patches/rules_patch.h"

#include "patches/rewrite.h"

namespace corvaldo {
namespace {

struct RuleLine {
  std::int32_t lineNumber;  // counting from 1
  const char* text;
};

// Both hold 38 (the country file's number) in their upper 16 bits.
constexpr RuleLine kRuleLines[] = {{31, "2490379"}, {34, "2490375"}};

}  // namespace

void ApplyRulesPatch(PatchState& state) {
  LineFile& file = state.file;
  LineList& lines = state.lines;
  lines.Clear();
  file.OpenForReading(PathOf(state, kRulesFile));
  bool changed = false;
  while (!file.AtEnd()) {
    lines.Add(file.ReadNextLine());
    const std::int32_t counter = lines.Count();
    for (const RuleLine& rule : kRuleLines) {
      if (counter != rule.lineNumber) continue;
      if (lines.Get(counter - 1) != rule.text) {
        lines.Put(counter - 1, rule.text);
        changed = true;
      } else {
        ++state.valuesInPlace;
      }
    }
  }
  file.CloseFile();
  if (!changed && ReadWhole(file.ReadOutcome())) {
    ReportInOrder(state, kRulesFile);
    return;
  }
  RewriteGameFile(state, kRulesFile, file.ReadOutcome(), [&] { file.WriteLines(lines); });
}

}  // namespace corvaldo
