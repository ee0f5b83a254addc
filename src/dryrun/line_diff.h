// How a game text file would change: its lines as the game reads them, old
// against new, as the hunks of a unified diff; and what a rewrite changes
// besides the lines.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace corvaldo {

// A rewrite writes each line with CR LF and nothing after the last one. What
// that changes in `text` besides its lines:
struct RewriteLineEnds {
  // Some line ended in an LF alone, or the last one had no line end.
  bool bareLineEnds = false;
  // Some CR stood elsewhere than before an LF: the game drops it.
  bool strayCrs = false;
  // The bytes from the first Ctrl-Z on, which the game does not read.
  std::size_t droppedTail = 0;
};
RewriteLineEnds LineEndsOf(std::string_view text);

// Writes to `out`, a piece at a time, the hunks that turn the lines of
// `oldText` into those of `newText`, in the format of `diff -u` without its
// two header lines: "@@ -a,b +c,d @@", then lines prefixed with ' ', '-' or
// '+', each ending in LF, `context` unchanged lines around each change. Lines
// are read by the game's rules: the text ends at its first Ctrl-Z, lines end
// at LF, and every CR is dropped; their bytes are written as they are.
//
// Common lines at the head and tail are passed over first, so a change of a
// few lines in a file of millions costs one pass over it. The lines between
// are compared by Myers' algorithm, in bounded time and memory; past those
// bounds they are shown as all removed and all added, which is still exact,
// only longer.
void WriteLineDiff(std::string_view oldText, std::string_view newText, int context,
                   const std::function<void(std::string_view)>& out);

}  // namespace corvaldo
