#include "patches/cup_script_patch.h"

#include "gamefiles/errors.h"
#include "patches/integer_text.h"
#include "patches/rewrite.h"

namespace corvaldo {
namespace {

const char kRule[] = "; ----------------------------------------------";

// The two characters after "%INDEX%CUP": the most the script's index line is
// read for, so indexes run from 0 to 99.
std::string IndexDigits(std::string_view indexLine) {
  if (indexLine.size() <= 10) return {};
  return std::string(indexLine.substr(10, 2));
}

}  // namespace

std::array<std::string, 35> PortugueseCupBlock(std::int32_t cupIndex) {
  const std::string index = IntToStr(cupIndex);
  return {
      kRule,
      "; FA Cup Portugal - Script Corvaldo",
      kRule,
      "%INDEX%CUP" + index,
      "FA",
      kPortugueseCupMarker,
      "0",
      "8",
      ";always play one match, with extra time and penalties",
      "{ 0, 8, 28, 28,   0,  14, ROUND_1, BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, BEG_WITH_PENALTY }",
      "{ 1, 8, 92, 78,  14,  60, ROUND_2, BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, BEG_WITH_PENALTY }",
      "{ 2, 8, 64, 18,  60,  92, ROUND_3, BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, BEG_WITH_PENALTY }",
      "{ 3, 8, 32,  0,  92, 108, ROUND_4, BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, BEG_WITH_PENALTY }",
      "{ 4, 8, 16,  0, 108, 116, ROUND_LAST_16, BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, "
      "BEG_WITH_PENALTY }",
      "{ 5, 8,  8,  0, 116, 120, ROUND_QUARTERFINAL, BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, "
      "BEG_WITH_PENALTY }",
      "{ 6, 8,  4,  0, 120, 122, ROUND_SEMIFINAL, BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, "
      "BEG_WITH_PENALTY }",
      "{ 7, 8,  2,  0, 122, 123, ROUND_FINAL, BEG_1ST_LEG, BEG_WITH_EXTRA_TIME, "
      "BEG_WITH_PENALTY }",
      "5",
      "GET_TAB_X_TO_Y,\t\t\t{ 0, LEAGUE, 0 }",
      "1",
      "18",
      "GET_TAB_LEVEL_X_TO_Y",
      "1",
      "1",
      "18",
      "GET_TAB_LEVEL_X_TO_Y",
      "2",
      "1",
      "20",
      "GET_TAB_LEVEL_X_TO_Y",
      "3",
      "1",
      "5",
      "GET_TAB_SPARE",
      "%INDEXEND%CUP" + index,
  };
}

void ApplyCupScriptPatch(PatchState& state) {
  LineFile& file = state.file;
  LineList& lines = state.lines;
  file.OpenForReading(PathOf(state, kCupScriptFile));
  bool cupAbsent = true;
  std::int32_t counter = 0;
  try {
    while (!file.AtEnd()) {
      const LineText line = file.ReadNextLine();
      ++counter;
      if (counter == 1) {
        // The cup count; never kept in the list, never taken for the marker.
        state.CupIndex = StrToInt(line);
        continue;
      }
      const bool marker = line == kPortugueseCupMarker;
      lines.Add(line);
      if (marker) {
        cupAbsent = false;
        // The index line stands two lines above the marker; the last marker wins.
        state.CupIndex = StrToInt(IndexDigits(lines.Get(counter - 4)));
      }
    }
  } catch (EError& error) {
    // The count line, or the index line above a marker (the marker's own
    // when there is no line for it).
    error.SetGameFile(PathOf(state, kCupScriptFile), counter >= 4 ? counter - 2 : counter);
    throw;
  }
  file.CloseFile();

  // A marker seen in part of the file may not be the last one.
  if (!cupAbsent && ReadWhole(file.ReadOutcome())) {
    state.cupInScript = true;
    ++state.valuesInPlace;
    ReportInOrder(state, kCupScriptFile);
    return;
  }
  state.cupInScript = RewriteGameFile(state, kCupScriptFile, file.ReadOutcome(), [&] {
    // Wraps like the game's own 32-bit arithmetic rather than overflowing.
    file.WriteLine(
        IntToStr(static_cast<std::int32_t>(static_cast<std::uint32_t>(state.CupIndex) + 1u)));
    file.WriteLines(lines);
    for (const std::string& blockLine : PortugueseCupBlock(state.CupIndex)) {
      file.WriteLine(blockLine);
    }
  });
}

}  // namespace corvaldo
