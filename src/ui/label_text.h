// How the two windows lay out a label's text: which bytes break lines, what an
// "&" does, and where a centred block of lines starts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvaldo {

// Splits at line breaks: CR LF, LF CR, a lone LF and a lone CR each count as
// one break. n breaks give n + 1 lines, so an empty text is one empty line.
std::vector<std::string> SplitLabelLines(std::string_view text);

// A caption with its "&" marks resolved: "&&" shows one "&", "&x" shows x
// underlined. A trailing lone "&" shows nothing.
struct MnemonicText {
  static constexpr std::size_t kNoUnderline = std::string::npos;
  std::string shown;
  std::size_t underline = kNoUnderline;  // index into `shown`
};
MnemonicText ResolveMnemonic(std::string_view text);

// The upper-case mnemonic letter of a caption, or '\0' when it has none.
char MnemonicLetter(std::string_view caption);

// Top offset of a block of lines centred in an area: half the free height,
// rounded down (negative when the block is taller than the area).
int CentredBlockTop(int areaHeight, int lineHeight, int lineCount);

}  // namespace corvaldo
