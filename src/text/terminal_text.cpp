#include "text/terminal_text.h"

#include "text/cp1252.h"

namespace corvaldo {

std::string TerminalText(std::string_view text) {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      // A two-byte break of either order counts once.
      if (i + 1 < text.size() && text[i + 1] != c && (text[i + 1] == '\r' || text[i + 1] == '\n')) {
        ++i;
      }
      lines += '\n';
    } else {
      lines += c;
    }
  }
  return Cp1252ToUtf8(lines);
}

}  // namespace corvaldo
