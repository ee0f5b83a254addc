// The game's line rules: where the text of one of its files ends, where each
// line ends, and which of a line's bytes the game reads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvaldo {

// The game reads a file up to its first Ctrl-Z, even one inside a line.
inline constexpr char kEndOfText = 0x1A;
// The line end a rewrite writes after every line, the last one too.
inline constexpr std::string_view kRewriteLineEnd = "\r\n";

// Where the game's text in `bytes` ends: at the first Ctrl-Z at or after
// `from`, else at the end of the bytes.
std::size_t GameTextEnd(std::string_view bytes, std::size_t from = 0);
inline std::string_view GameText(std::string_view bytes) {
  return bytes.substr(0, GameTextEnd(bytes));
}

// A line ends at its LF; the last line may end without one. The game drops
// every CR of a line: one directly before the LF is part of the line end (CR
// LF), any other is a stray CR. The byte pairs below are branch-free, for the
// scanning loops; a byte past either end of the text is '\0'.
constexpr bool IsStrayCr(char c, char next) { return (c == '\r') & (next != '\n'); }
// An LF with no CR before it: a line end a rewrite turns into CR LF.
constexpr bool IsBareLf(char previous, char c) { return (c == '\n') & (previous != '\r'); }
inline bool IsStrayCrAt(std::string_view text, std::size_t i) {
  return IsStrayCr(text[i], i + 1 < text.size() ? text[i + 1] : '\0');
}
inline bool IsBareLfAt(std::string_view text, std::size_t i) {
  return IsBareLf(i > 0 ? text[i - 1] : '\0', text[i]);
}
// The text's last line has no line end.
constexpr bool LastLineUnended(std::string_view text) {
  return !text.empty() && text.back() != '\n';
}

// The stored bytes of the line that starts at `begin`, without its LF but with
// any CR; `next` is set to where the next line starts.
std::string_view LineAt(std::string_view text, std::size_t begin, std::size_t& next);
// A line's stored bytes without the CR of its CR LF.
constexpr std::string_view WithoutLineEndCr(std::string_view line) {
  return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}
bool HasCr(std::string_view line);
// Copies `line` to `out` without its CRs and returns how many bytes it wrote;
// `out` may be where the line starts.
std::size_t CopyWithoutCrs(std::string_view line, char* out);
// The line as the game reads it.
std::string WithoutCrs(std::string_view line);
// Whether two stored lines read the same once their CRs are dropped.
bool SameGameLine(std::string_view a, std::string_view b);

}  // namespace corvaldo
