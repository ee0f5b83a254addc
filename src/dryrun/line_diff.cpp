#include "dryrun/line_diff.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "text/line_rules.h"

namespace corvaldo {
namespace {

// Bounds of the line-by-line comparison: lines between the common head and
// tail (16 bytes each), the edit distance (its trace needs its square in
// ints), and the lines followed along the way. Real rewrites change a few
// lines or append a few dozen; anything beyond is shown as one replacement.
constexpr std::size_t kMaxMiddleLines = 2'000'000;
constexpr std::int32_t kMaxEdits = 1000;
constexpr std::uint64_t kMaxSteps = 20'000'000;

// The line that ends at `end` (a line start, or the text's end) and does not
// begin before `floor`; `begin` is set to where it starts.
std::string_view LineBefore(std::string_view text, std::size_t floor, std::size_t end,
                            std::size_t& begin) {
  const std::size_t stop = text[end - 1] == '\n' ? end - 1 : end;
  const std::size_t lf = stop == floor ? std::string_view::npos : text.rfind('\n', stop - 1);
  begin = lf == std::string_view::npos || lf < floor ? floor : lf + 1;
  return text.substr(begin, stop - begin);
}

// The lines of text[begin, end) as the game reads them; lines that hold a CR
// other than their last byte get a cleaned copy in `kept`.
std::vector<std::string_view> SplitLines(std::string_view text, std::size_t begin, std::size_t end,
                                         std::deque<std::string>& kept) {
  std::vector<std::string_view> lines;
  std::size_t next = begin;
  while (next < end) {
    std::string_view line = WithoutLineEndCr(LineAt(text, next, next));
    if (HasCr(line)) line = kept.emplace_back(WithoutCrs(line));
    lines.push_back(line);
  }
  return lines;
}

// A run of changed lines: `removed` lines from x in the old text replaced by
// `added` lines from y in the new one (indexes into the compared lines).
struct Change {
  std::int64_t x, removed, y, added;
};

// Myers' greedy search, edit count by edit count: how far each diagonal k
// (x - y) of the edit graph of n old and m new lines gets.
class EditTrace {
 public:
  static constexpr std::int32_t kNone = -1;
  EditTrace(std::int32_t n, std::int32_t m) : n_(n), m_(m) {}

  // The furthest x on diagonal k that d edits reach, kNone where no path
  // inside the edit graph does.
  std::int32_t Furthest(std::int32_t d, std::int32_t k) const {
    if (k < -d || k > d) return kNone;
    return trace_[static_cast<std::size_t>(d)][static_cast<std::size_t>(k + d)];
  }
  // Where the d-th edit on diagonal k starts from: down (an insertion) from
  // k + 1, or right (a deletion) from k - 1, whichever reaches further inside
  // the graph; down on a tie, as Myers has it. False when neither can.
  bool Previous(std::int32_t d, std::int32_t k, std::int32_t& prev) const {
    const std::int32_t up = Furthest(d - 1, k + 1);
    const std::int32_t left = Furthest(d - 1, k - 1);
    const std::int32_t down = up != kNone && up - k <= m_ ? up : kNone;
    const std::int32_t right = left != kNone && left + 1 <= n_ ? left + 1 : kNone;
    if (down == kNone && right == kNone) return false;
    prev = right > down ? k - 1 : k + 1;
    return true;
  }
  // Starts the round of d edits: every diagonal of it unreached.
  std::vector<std::int32_t>& NextRound(std::int32_t d) {
    return trace_.emplace_back(static_cast<std::size_t>(2 * d + 1), kNone);
  }

 private:
  std::int32_t n_, m_;
  // trace_[d][k + d], as Furthest gives it.
  std::vector<std::vector<std::int32_t>> trace_;
};

// Forward, round by round, until a path reaches the end of both: the number
// of edits of the shortest script, or kNone past kMaxEdits edits or
// kMaxSteps steps.
std::int32_t SearchForward(const std::vector<std::string_view>& a,
                           const std::vector<std::string_view>& b, EditTrace& trace) {
  const auto n = static_cast<std::int32_t>(a.size());
  const auto m = static_cast<std::int32_t>(b.size());
  std::uint64_t steps = 0;
  for (std::int32_t d = 0;; ++d) {
    if (d > kMaxEdits || steps > kMaxSteps) return EditTrace::kNone;
    std::vector<std::int32_t>& round = trace.NextRound(d);
    std::int32_t end = EditTrace::kNone;
    for (std::int32_t k = -d; k <= d; k += 2) {
      std::int32_t x = 0;
      std::int32_t prev = 0;
      if (d > 0) {
        if (!trace.Previous(d, k, prev)) continue;
        x = prev == k + 1 ? trace.Furthest(d - 1, prev) : trace.Furthest(d - 1, prev) + 1;
      }
      const std::int32_t start = x;
      while (x < n && x - k < m &&
             a[static_cast<std::size_t>(x)] == b[static_cast<std::size_t>(x - k)]) {
        ++x;
      }
      steps += static_cast<std::uint64_t>(x - start) + 1;
      round[static_cast<std::size_t>(k + d)] = x;
      if (x == n && x - k == m) end = d;
    }
    if (end != EditTrace::kNone) return end;
  }
}

// Back from the end of n old and m new lines, one edit at a time: flags on
// the lines removed and added.
void MarkEdits(const EditTrace& trace, std::int32_t edits, std::int32_t n, std::int32_t m,
               char* removed, char* added) {
  std::int32_t x = n, y = m;
  for (std::int32_t d = edits; d > 0; --d) {
    const std::int32_t k = x - y;
    std::int32_t prev = 0;
    trace.Previous(d, k, prev);
    x = trace.Furthest(d - 1, prev);
    y = x - prev;
    if (prev == k + 1) {
      added[static_cast<std::size_t>(y)] = 1;
    } else {
      removed[static_cast<std::size_t>(x)] = 1;
    }
  }
}

// Myers' greedy algorithm: the shortest edit script from `a` to `b`, as
// flags on the lines removed from `a` and added from `b`. False when it
// would take more than kMaxEdits edits or kMaxSteps steps.
bool ShortestEdit(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b,
                  char* removed, char* added) {
  const auto n = static_cast<std::int32_t>(a.size());
  const auto m = static_cast<std::int32_t>(b.size());
  EditTrace trace(n, m);
  const std::int32_t edits = SearchForward(a, b, trace);
  if (edits == EditTrace::kNone) return false;
  MarkEdits(trace, edits, n, m, removed, added);
  return true;
}

// GNU diff's tidying of an edit script (its shift_boundaries), so that hunks
// read as diff -u would show them: each run of changed lines of one side
// slides back while the line before it equals its last line, merging with
// the runs it meets, then forward while its first line equals the line after
// it, then back to where it lines up with a run of changes on the other
// side. `changed` and `other` hold a 0 before and after the lines' flags.
void ShiftBoundaries(const std::vector<std::string_view>& lines, char* changed, const char* other) {
  const auto end = static_cast<std::ptrdiff_t>(lines.size());
  const auto same = [&](std::ptrdiff_t p, std::ptrdiff_t q) {
    return lines[static_cast<std::size_t>(p)] == lines[static_cast<std::size_t>(q)];
  };
  std::ptrdiff_t i = 0, j = 0;
  for (;;) {
    // The next run of changes, and the matching point on the other side.
    while (i < end && !changed[i]) {
      while (other[j++]) {
      }
      ++i;
    }
    if (i == end) break;
    std::ptrdiff_t start = i;
    while (changed[++i]) {
    }
    while (other[j]) ++j;
    std::ptrdiff_t corresponding, length;
    do {
      length = i - start;
      while (start > 0 && same(start - 1, i - 1)) {
        changed[--start] = 1;
        changed[--i] = 0;
        while (changed[start - 1]) --start;
        while (other[--j]) {
        }
      }
      corresponding = other[j - 1] ? i : end;
      while (i != end && same(start, i)) {
        changed[start++] = 0;
        changed[i++] = 1;
        while (changed[i]) ++i;
        while (other[++j]) corresponding = i;
      }
    } while (length != i - start);
    while (corresponding < i) {
      changed[--start] = 1;
      changed[--i] = 0;
      while (other[--j]) {
      }
    }
  }
}

// GNU diff's way of naming a range of `count` lines from line `first` (from
// 1): "first,count", "first" for one line, "before,0" for none.
std::string Range(std::int64_t first, std::int64_t count) {
  if (count == 1) return std::to_string(first);
  return std::to_string(count == 0 ? first - 1 : first) + "," + std::to_string(count);
}

// Gathers output into large pieces before handing it on.
class Output {
 public:
  explicit Output(const std::function<void(std::string_view)>& out) : out_(out) {}
  ~Output() { Flush(); }
  void Line(char prefix, std::string_view text) {
    buffer_ += prefix;
    buffer_.append(text);
    buffer_ += '\n';
    if (buffer_.size() >= 64 * 1024) Flush();
  }
  void Raw(const std::string& text) { buffer_ += text; }
  void Flush() {
    if (!buffer_.empty()) out_(buffer_);
    buffer_.clear();
  }

 private:
  const std::function<void(std::string_view)>& out_;
  std::string buffer_;
};

// The lines of text[begin, end): its LFs, and the last line if it has none.
std::size_t CountLines(std::string_view text, std::size_t begin, std::size_t end) {
  const auto lfs = std::count(text.begin() + static_cast<std::ptrdiff_t>(begin),
                              text.begin() + static_cast<std::ptrdiff_t>(end), '\n');
  return static_cast<std::size_t>(lfs) + (LastLineUnended(text.substr(begin, end - begin)) ? 1 : 0);
}

// What the two texts have in common at either end: `head` lines, up to byte
// ha of a and hb of b, and `tail` lines, from ta and tb, not reaching into the
// head.
struct CommonEnds {
  std::size_t ha = 0, hb = 0, head = 0;
  std::size_t ta = 0, tb = 0, tail = 0;
  bool Whole() const { return ha == ta && hb == tb; }
};

CommonEnds FindCommonEnds(std::string_view a, std::string_view b) {
  CommonEnds ends;
  while (ends.ha < a.size() && ends.hb < b.size()) {
    std::size_t na, nb;
    if (!SameGameLine(LineAt(a, ends.ha, na), LineAt(b, ends.hb, nb))) break;
    ends.ha = na;
    ends.hb = nb;
    ++ends.head;
  }
  ends.ta = a.size();
  ends.tb = b.size();
  while (ends.ta > ends.ha && ends.tb > ends.hb) {
    std::size_t ba, bb;
    if (!SameGameLine(LineBefore(a, ends.ha, ends.ta, ba), LineBefore(b, ends.hb, ends.tb, bb))) {
      break;
    }
    ends.ta = ba;
    ends.tb = bb;
    ++ends.tail;
  }
  return ends;
}

// The context around the changes: up to `context` common lines on either
// side stay in, from byte sa of a and sb of b to ea and eb.
struct Context {
  std::size_t keepHead = 0, keepTail = 0;
  std::size_t sa = 0, sb = 0, ea = 0, eb = 0;
  std::int64_t base = 0;  // lines before those shown
};

Context AddContext(std::string_view a, std::string_view b, const CommonEnds& ends,
                   std::size_t context) {
  Context shown;
  shown.keepHead = std::min(ends.head, context);
  shown.keepTail = std::min(ends.tail, context);
  shown.sa = ends.ha;
  shown.sb = ends.hb;
  shown.ea = ends.ta;
  shown.eb = ends.tb;
  for (std::size_t i = 0; i < shown.keepHead; ++i) {
    LineBefore(a, 0, shown.sa, shown.sa);
    LineBefore(b, 0, shown.sb, shown.sb);
  }
  for (std::size_t i = 0; i < shown.keepTail; ++i) {
    LineAt(a, shown.ea, shown.ea);
    LineAt(b, shown.eb, shown.eb);
  }
  shown.base = static_cast<std::int64_t>(ends.head - shown.keepHead);
  return shown;
}

// The runs of changes the flags on the old and new lines make.
std::vector<Change> ChangesOf(const char* removed, std::int64_t n, const char* added,
                              std::int64_t m) {
  std::vector<Change> changes;
  for (std::int64_t x = 0, y = 0; x < n || y < m;) {
    if (x < n && y < m && !removed[x] && !added[y]) {
      ++x;
      ++y;
      continue;
    }
    Change& change = changes.emplace_back(Change{x, 0, y, 0});
    for (; x < n && removed[x]; ++x) ++change.removed;
    for (; y < m && added[y]; ++y) ++change.added;
  }
  return changes;
}

// The lines shown, as the game reads them, and the runs of changes between
// them as diff -u finds them.
struct Comparison {
  std::deque<std::string> kept;  // cleaned copies of lines with stray CRs
  std::vector<std::string_view> lines[2];
  std::vector<Change> changes;
};

// Nothing when the lines are too many, or too different, to compare.
std::optional<Comparison> CompareLines(std::string_view a, std::string_view b,
                                       const Context& shown) {
  if (CountLines(a, shown.sa, shown.ea) + CountLines(b, shown.sb, shown.eb) > kMaxMiddleLines) {
    return std::nullopt;
  }
  std::optional<Comparison> result(std::in_place);
  std::vector<std::string_view>* lines = result->lines;
  lines[0] = SplitLines(a, shown.sa, shown.ea, result->kept);
  lines[1] = SplitLines(b, shown.sb, shown.eb, result->kept);
  // Flags with a 0 before and after, as ShiftBoundaries wants them.
  std::vector<char> flags[2] = {std::vector<char>(lines[0].size() + 2),
                                std::vector<char>(lines[1].size() + 2)};
  char* const removed = flags[0].data() + 1;
  char* const added = flags[1].data() + 1;
  if (!ShortestEdit(lines[0], lines[1], removed, added)) return std::nullopt;
  ShiftBoundaries(lines[0], removed, added);
  ShiftBoundaries(lines[1], added, removed);
  result->changes = ChangesOf(removed, static_cast<std::int64_t>(lines[0].size()), added,
                              static_cast<std::int64_t>(lines[1].size()));
  return result;
}

// The lines of text[from, to) as the game reads them, each with `prefix`.
void WriteGameLines(Output& output, char prefix, std::string_view text, std::size_t from,
                    std::size_t to) {
  while (from < to) {
    const std::string_view line = WithoutLineEndCr(LineAt(text, from, from));
    output.Line(prefix, HasCr(line) ? std::string_view(WithoutCrs(line)) : line);
  }
}

// One hunk: the context lines around everything between the common ends, all
// of it replaced.
void WriteReplacementHunk(Output& output, std::string_view a, std::string_view b,
                          const CommonEnds& ends, const Context& shown) {
  const auto range = [&](std::size_t count) {
    return Range(shown.base + 1,
                 static_cast<std::int64_t>(shown.keepHead + count + shown.keepTail));
  };
  output.Raw("@@ -" + range(CountLines(a, ends.ha, ends.ta)) + " +" +
             range(CountLines(b, ends.hb, ends.tb)) + " @@\n");
  WriteGameLines(output, ' ', a, shown.sa, ends.ha);
  WriteGameLines(output, '-', a, ends.ha, ends.ta);
  WriteGameLines(output, '+', b, ends.hb, ends.tb);
  WriteGameLines(output, ' ', a, ends.ta, shown.ea);
}

// The last of the changes from `first` on whose context lines meet, so that
// they share a hunk.
std::size_t LastOfHunk(const std::vector<Change>& changes, std::size_t first,
                       std::int64_t context) {
  std::size_t last = first;
  while (last + 1 < changes.size() &&
         changes[last + 1].x - (changes[last].x + changes[last].removed) <= 2 * context) {
    ++last;
  }
  return last;
}

// The hunk of changes[first..last]: its header, then its lines with up to
// `context` unchanged lines before and after.
void WriteHunk(Output& output, const Comparison& compared, std::size_t first, std::size_t last,
               std::int64_t base, std::int64_t context) {
  const std::vector<std::string_view>& before = compared.lines[0];
  const std::vector<std::string_view>& after = compared.lines[1];
  const Change& from = compared.changes[first];
  const Change& to = compared.changes[last];
  const std::int64_t oldStart = std::max<std::int64_t>(0, from.x - context);
  const std::int64_t oldEnd =
      std::min(static_cast<std::int64_t>(before.size()), to.x + to.removed + context);
  const std::int64_t newStart = from.y - (from.x - oldStart);
  const std::int64_t newEnd = to.y + to.added + (oldEnd - (to.x + to.removed));
  output.Raw("@@ -" + Range(base + oldStart + 1, oldEnd - oldStart) + " +" +
             Range(base + newStart + 1, newEnd - newStart) + " @@\n");
  std::int64_t x = oldStart;
  for (std::size_t i = first; i <= last; ++i) {
    const Change& change = compared.changes[i];
    for (; x < change.x; ++x) output.Line(' ', before[static_cast<std::size_t>(x)]);
    for (std::int64_t r = 0; r < change.removed; ++r) {
      output.Line('-', before[static_cast<std::size_t>(change.x + r)]);
    }
    for (std::int64_t r = 0; r < change.added; ++r) {
      output.Line('+', after[static_cast<std::size_t>(change.y + r)]);
    }
    x = change.x + change.removed;
  }
  for (; x < oldEnd; ++x) output.Line(' ', before[static_cast<std::size_t>(x)]);
}

}  // namespace

RewriteLineEnds LineEndsOf(std::string_view text) {
  RewriteLineEnds result;
  const std::string_view game = GameText(text);
  result.droppedTail = text.size() - game.size();
  for (std::size_t i = 0; i < game.size(); ++i) {
    result.strayCrs |= IsStrayCrAt(game, i);
    result.bareLineEnds |= IsBareLfAt(game, i);
  }
  if (LastLineUnended(game)) result.bareLineEnds = true;
  return result;
}

void WriteLineDiff(std::string_view oldText, std::string_view newText, int context,
                   const std::function<void(std::string_view)>& out) {
  const std::string_view a = GameText(oldText);
  const std::string_view b = GameText(newText);
  const CommonEnds ends = FindCommonEnds(a, b);
  if (ends.Whole()) return;  // the same lines
  const auto lines = static_cast<std::size_t>(std::max(context, 0));
  const Context shown = AddContext(a, b, ends, lines);
  Output output(out);
  const std::optional<Comparison> compared = CompareLines(a, b, shown);
  if (!compared) {
    WriteReplacementHunk(output, a, b, ends, shown);
    return;
  }
  const auto c = static_cast<std::int64_t>(lines);
  for (std::size_t first = 0; first < compared->changes.size();) {
    const std::size_t last = LastOfHunk(compared->changes, first, c);
    WriteHunk(output, *compared, first, last, shown.base, c);
    first = last + 1;
  }
}

}  // namespace corvaldo
