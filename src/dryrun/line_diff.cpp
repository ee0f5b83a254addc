#include "dryrun/line_diff.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
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

// Myers' greedy algorithm: the shortest edit script from `a` to `b`, as
// flags on the lines removed from `a` and added from `b`. False when it
// would take more than kMaxEdits edits or kMaxSteps steps.
bool ShortestEdit(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b,
                  char* removed, char* added) {
  const auto n = static_cast<std::int32_t>(a.size());
  const auto m = static_cast<std::int32_t>(b.size());
  constexpr std::int32_t kNone = -1;
  // trace[d][k + d]: the furthest x on diagonal k (x - y) that d edits reach,
  // kNone where no path inside the edit graph does.
  std::vector<std::vector<std::int32_t>> trace;
  const auto furthest = [&](std::int32_t d, std::int32_t k) {
    if (k < -d || k > d) return kNone;
    return trace[static_cast<std::size_t>(d)][static_cast<std::size_t>(k + d)];
  };
  // Where the d-th edit on diagonal k starts from: down (an insertion) from
  // k + 1, or right (a deletion) from k - 1, whichever reaches further inside
  // the graph; down on a tie, as Myers has it. False when neither can.
  const auto previous = [&](std::int32_t d, std::int32_t k, std::int32_t& prev) {
    const std::int32_t up = furthest(d - 1, k + 1);
    const std::int32_t left = furthest(d - 1, k - 1);
    const std::int32_t down = up != kNone && up - k <= m ? up : kNone;
    const std::int32_t right = left != kNone && left + 1 <= n ? left + 1 : kNone;
    if (down == kNone && right == kNone) return false;
    prev = right > down ? k - 1 : k + 1;
    return true;
  };
  std::uint64_t steps = 0;
  std::int32_t end = kNone;
  for (std::int32_t d = 0; end == kNone; ++d) {
    if (d > kMaxEdits || steps > kMaxSteps) return false;
    trace.emplace_back(static_cast<std::size_t>(2 * d + 1), kNone);
    for (std::int32_t k = -d; k <= d; k += 2) {
      std::int32_t x = 0;
      std::int32_t prev = 0;
      if (d > 0) {
        if (!previous(d, k, prev)) continue;
        x = prev == k + 1 ? furthest(d - 1, prev) : furthest(d - 1, prev) + 1;
      }
      const std::int32_t start = x;
      while (x < n && x - k < m &&
             a[static_cast<std::size_t>(x)] == b[static_cast<std::size_t>(x - k)]) {
        ++x;
      }
      steps += static_cast<std::uint64_t>(x - start) + 1;
      trace.back()[static_cast<std::size_t>(k + d)] = x;
      if (x == n && x - k == m) end = d;
    }
  }
  // Back from the end, one edit at a time.
  std::int32_t x = n, y = m;
  for (std::int32_t d = end; d > 0; --d) {
    const std::int32_t k = x - y;
    std::int32_t prev = 0;
    previous(d, k, prev);
    x = furthest(d - 1, prev);
    y = x - prev;
    if (prev == k + 1) {
      added[static_cast<std::size_t>(y)] = 1;
    } else {
      removed[static_cast<std::size_t>(x)] = 1;
    }
  }
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
  const auto ctx = static_cast<std::size_t>(std::max(context, 0));

  // The common head: `head` lines, up to byte ha of a and hb of b.
  std::size_t ha = 0, hb = 0, head = 0;
  while (ha < a.size() && hb < b.size()) {
    std::size_t na, nb;
    if (!SameGameLine(LineAt(a, ha, na), LineAt(b, hb, nb))) break;
    ha = na;
    hb = nb;
    ++head;
  }
  // The common tail, from ta and tb, not reaching into the head.
  std::size_t ta = a.size(), tb = b.size(), tail = 0;
  while (ta > ha && tb > hb) {
    std::size_t ba, bb;
    if (!SameGameLine(LineBefore(a, ha, ta, ba), LineBefore(b, hb, tb, bb))) break;
    ta = ba;
    tb = bb;
    ++tail;
  }
  if (ha == ta && hb == tb) return;  // the same lines

  // Up to `ctx` lines on either side stay in, to be shown around the changes.
  const std::size_t keepHead = std::min(head, ctx);
  const std::size_t keepTail = std::min(tail, ctx);
  std::size_t sa = ha, sb = hb, ea = ta, eb = tb;
  for (std::size_t i = 0; i < keepHead; ++i) {
    LineBefore(a, 0, sa, sa);
    LineBefore(b, 0, sb, sb);
  }
  for (std::size_t i = 0; i < keepTail; ++i) {
    LineAt(a, ea, ea);
    LineAt(b, eb, eb);
  }
  Output output(out);
  const auto base = static_cast<std::int64_t>(head - keepHead);  // lines before those shown

  const auto lineCount = [](std::string_view text, std::size_t begin, std::size_t end) {
    const auto lfs = std::count(text.begin() + static_cast<std::ptrdiff_t>(begin),
                                text.begin() + static_cast<std::ptrdiff_t>(end), '\n');
    return static_cast<std::size_t>(lfs) +
           (LastLineUnended(text.substr(begin, end - begin)) ? 1 : 0);
  };
  std::deque<std::string> kept;
  std::vector<std::string_view> lines[2];
  std::vector<Change> changes;
  bool compared = false;
  if (lineCount(a, sa, ea) + lineCount(b, sb, eb) <= kMaxMiddleLines) {
    lines[0] = SplitLines(a, sa, ea, kept);
    lines[1] = SplitLines(b, sb, eb, kept);
    // Flags with a 0 before and after, as ShiftBoundaries wants them.
    std::vector<char> flags[2] = {std::vector<char>(lines[0].size() + 2),
                                  std::vector<char>(lines[1].size() + 2)};
    compared = ShortestEdit(lines[0], lines[1], flags[0].data() + 1, flags[1].data() + 1);
    if (compared) {
      ShiftBoundaries(lines[0], flags[0].data() + 1, flags[1].data() + 1);
      ShiftBoundaries(lines[1], flags[1].data() + 1, flags[0].data() + 1);
      const char* removed = flags[0].data() + 1;
      const char* added = flags[1].data() + 1;
      const auto n = static_cast<std::int64_t>(lines[0].size());
      const auto m = static_cast<std::int64_t>(lines[1].size());
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
    }
  }
  if (!compared) {
    // One hunk: the kept lines around everything between, all of it replaced.
    lines[0] = {};
    lines[1] = {};
    kept.clear();
    const std::size_t removed = lineCount(a, ha, ta);
    const std::size_t added = lineCount(b, hb, tb);
    const auto shown = [&](std::size_t count) {
      return Range(base + 1, static_cast<std::int64_t>(keepHead + count + keepTail));
    };
    output.Raw("@@ -" + shown(removed) + " +" + shown(added) + " @@\n");
    const auto stream = [&](char prefix, std::string_view text, std::size_t from, std::size_t to) {
      while (from < to) {
        const std::string_view line = WithoutLineEndCr(LineAt(text, from, from));
        output.Line(prefix, HasCr(line) ? std::string_view(WithoutCrs(line)) : line);
      }
    };
    stream(' ', a, sa, ha);
    stream('-', a, ha, ta);
    stream('+', b, hb, tb);
    stream(' ', a, ta, ea);
    return;
  }

  const auto n = static_cast<std::int64_t>(lines[0].size());
  const auto c = static_cast<std::int64_t>(ctx);
  for (std::size_t first = 0; first < changes.size();) {
    // Changes whose context lines would meet share a hunk.
    std::size_t last = first;
    while (last + 1 < changes.size() &&
           changes[last + 1].x - (changes[last].x + changes[last].removed) <= 2 * c) {
      ++last;
    }
    const Change& from = changes[first];
    const Change& to = changes[last];
    const std::int64_t oldStart = std::max<std::int64_t>(0, from.x - c);
    const std::int64_t oldEnd = std::min(n, to.x + to.removed + c);
    const std::int64_t newStart = from.y - (from.x - oldStart);
    const std::int64_t newEnd = to.y + to.added + (oldEnd - (to.x + to.removed));
    output.Raw("@@ -" + Range(base + oldStart + 1, oldEnd - oldStart) + " +" +
               Range(base + newStart + 1, newEnd - newStart) + " @@\n");
    std::int64_t x = oldStart;
    for (std::size_t i = first; i <= last; ++i) {
      const Change& change = changes[i];
      for (; x < change.x; ++x) output.Line(' ', lines[0][static_cast<std::size_t>(x)]);
      for (std::int64_t r = 0; r < change.removed; ++r) {
        output.Line('-', lines[0][static_cast<std::size_t>(change.x + r)]);
      }
      for (std::int64_t r = 0; r < change.added; ++r) {
        output.Line('+', lines[1][static_cast<std::size_t>(change.y + r)]);
      }
      x = change.x + change.removed;
    }
    for (; x < oldEnd; ++x) output.Line(' ', lines[0][static_cast<std::size_t>(x)]);
    first = last + 1;
  }
}

}  // namespace corvaldo
