#include "ui/label_text.h"

namespace corvaldo {

std::vector<std::string> SplitLabelLines(std::string_view text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      lines.back() += c;
      continue;
    }
    // A CR and an LF next to each other, in either order, are one break.
    const char partner = c == '\r' ? '\n' : '\r';
    if (i + 1 < text.size() && text[i + 1] == partner) ++i;
    lines.emplace_back();
  }
  return lines;
}

MnemonicText ResolveMnemonic(std::string_view text) {
  MnemonicText result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      result.shown += text[i];
      continue;
    }
    if (++i == text.size()) break;
    if (text[i] != '&' && result.underline == MnemonicText::kNoUnderline) {
      result.underline = result.shown.size();
    }
    result.shown += text[i];
  }
  return result;
}

char MnemonicLetter(std::string_view caption) {
  const MnemonicText resolved = ResolveMnemonic(caption);
  if (resolved.underline == MnemonicText::kNoUnderline) return '\0';
  const char c = resolved.shown[resolved.underline];
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

int CentredBlockTop(int areaHeight, int lineHeight, int lineCount) {
  const int free = areaHeight - lineHeight * lineCount;
  // Round towards minus infinity, also for a block taller than the area.
  return free >= 0 ? free / 2 : -((1 - free) / 2);
}

}  // namespace corvaldo
