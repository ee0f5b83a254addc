#include "patches/country_patch.h"

#include "gamefiles/errors.h"
#include "patches/integer_text.h"
#include "patches/rewrite.h"
#include "text/text_helpers.h"

namespace corvaldo {
namespace {

constexpr std::string_view kIndexOpening = "%INDEX%COMPETITION";

bool Contains(std::string_view line, const char* word) {
  return line.find(word) != std::string::npos;
}

// Whether the line, blanks trimmed, is `word`. Most lines of a country file
// are shorter than the words looked for, so they are turned away untrimmed.
bool IsTrimmed(std::string_view line, std::string_view word) {
  return line.size() >= word.size() && TrimBlanks(line) == word;
}

// Judges the entry whose header is line h and whose end line is `end`, with
// the lines up to `end` loaded; true when it was rewritten in the list.
// `marker` is the last line the walk turned on before the header: the index's
// opening line or the previous entry's end line.
bool JudgeEntry(PatchState& state, std::int32_t h, std::int32_t end, std::int32_t marker) {
  LineList& lines = state.lines;
  // Entries too short to hold the judged lines would have their values
  // written over a marker line (the index's opening line, the previous
  // entry's end line, or their own end line), which would change the walk.
  if (h - 1 == marker) return false;
  if (state.options.PatchCupScript) {
    if (end == h + 3) return false;
    const std::string cup = IntToStr(state.CupIndex);
    if (IsBlank(lines.Get(h - 1)) || lines.Get(h + 3) != cup) {
      lines.Put(h - 1, "DB_CUP");
      lines.Put(h + 3, cup);
      return true;
    }
    ++state.valuesInPlace;
    return false;
  }
  if (end == h + 5) return false;
  if (!IsBlank(lines.Get(h - 1)) && lines.Get(h + 3) == "1" &&
      CountOccurrences(lines.Get(h + 5), ",") == 5) {
    ++state.valuesInPlace;
    return false;
  }
  lines.Put(h - 1, "DB_CUP");
  lines.Put(h + 3, "1");
  lines.Put(h + 5, kDefaultCupNumbers);
  return true;
}

}  // namespace

void ApplyCountryPatch(PatchState& state) {
  LineFile& file = state.file;
  LineList& lines = state.lines;
  lines.Clear();
  file.OpenForReading(PathOf(state, kCountryFile));
  IndexWalkState walk = IndexWalkState::OutsideIndex;
  std::int32_t h = 0;
  std::int32_t marker = -1;
  bool changed = false;
  while (!file.AtEnd()) {
    if (walk == IndexWalkState::OutsideIndex) {
      // Only a line holding the index's opening word can open it; the lines
      // before such a line go in without a look.
      file.AddLinesWithout(kIndexOpening, lines);
      if (file.AtEnd()) break;
    }
    lines.Add(file.ReadNextLine());
    const std::int32_t current = lines.Count() - 1;
    const std::string_view line = lines.Get(current);
    switch (walk) {
      case IndexWalkState::OutsideIndex:
        if (IsTrimmed(line, kIndexOpening)) {
          walk = IndexWalkState::InIndex;
          marker = current;
        }
        break;
      case IndexWalkState::InIndex:
        if (LeftStr(line, 1) == "{" && Contains(line, "FA_CUP")) {
          h = current;
          walk = IndexWalkState::InCupEntry;
        } else if (IsTrimmed(line, "%INDEXEND%COMPETITION")) {
          walk = IndexWalkState::OutsideIndex;
        }
        break;
      case IndexWalkState::InCupEntry:
        // Any end line closes the entry, the index's own included; the walk
        // then stays inside the index.
        if (Contains(line, "%INDEXEND%COMP")) {
          walk = IndexWalkState::InIndex;
          try {
            if (JudgeEntry(state, h, current, marker)) changed = true;
          } catch (EError& error) {
            // An entry too short for its lines: named by its header.
            error.SetGameFile(PathOf(state, kCountryFile), h + 1);
            throw;
          }
          marker = current;
        }
        break;
    }
  }
  file.CloseFile();
  if (!changed && ReadWhole(file.ReadOutcome())) {
    ReportInOrder(state, kCountryFile);
    return;
  }
  RewriteGameFile(state, kCountryFile, file.ReadOutcome(), [&] { file.WriteLines(lines); });
}

}  // namespace corvaldo
