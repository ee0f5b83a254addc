#include "gamefiles/line_list.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "gamefiles/errors.h"

namespace corvaldo {
namespace {

// The first CR or LF in [from, to), or `to`.
const char* FindLineBreak(const char* from, const char* to) {
  const void* lf = std::memchr(from, '\n', static_cast<std::size_t>(to - from));
  const char* stop = lf ? static_cast<const char*>(lf) : to;
  const void* cr = std::memchr(from, '\r', static_cast<std::size_t>(stop - from));
  return cr ? static_cast<const char*>(cr) : stop;
}

// A line handed out earlier: its text's size and where the next line starts.
struct Span {
  std::size_t size;
  std::size_t next;
};

Span ScanLine(const FileText& text, std::size_t begin) {
  const char* base = text.bytes.data();
  const char* end = base + text.end;
  const char* from = base + begin;
  const void* found = std::memchr(from, '\n', static_cast<std::size_t>(end - from));
  const char* lf = found ? static_cast<const char*>(found) : end;
  const std::size_t next = found ? static_cast<std::size_t>(lf - base) + 1 : text.end;
  if (text.compacted) {
    return {static_cast<std::size_t>(FindLineBreak(from, lf) - from), next};
  }
  // No line was normalised: a CR can only be the one before the LF.
  const bool crLf = lf > from && lf[-1] == '\r';
  return {static_cast<std::size_t>(lf - from) - (crLf ? 1 : 0), next};
}

}  // namespace

void LineList::CheckIndex(std::int32_t index) const {
  if (index < 0 || index >= count_) throw EStringListError(index);
}

std::int32_t LineList::Own(std::string line) {
  owned_.push_back(std::move(line));
  return static_cast<std::int32_t>(owned_.size() - 1);
}

void LineList::Add(std::string line) {
  if (compact_) ToEntries();
  const std::int32_t slot = Own(std::move(line));
  entries_.push_back({owned_[static_cast<std::size_t>(slot)], slot});
  ++count_;
}

void LineList::AddOther(const LineText& line) {
  if (line.source_ == nullptr) return Add(std::string());
  if (count_ == 0 && line.source_ != source_.get()) {
    source_ = line.source_->shared_from_this();
  }
  if (compact_) {
    if (line.source_ == source_.get() && (count_ == 0 || line.begin_ == next_)) {
      if (count_ % kMarkEvery == 0) marks_.push_back(line.begin_);
      next_ = line.next_;
      cursorIndex_ = count_;
      cursorBegin_ = line.begin_;
      cursorSize_ = line.size_;
      cursorNext_ = line.next_;
      ++count_;
      return;
    }
    ToEntries();
  }
  if (source_ == nullptr) source_ = line.source_->shared_from_this();
  if (line.source_ == source_.get()) {
    entries_.push_back({line.view(), -1});
  } else {
    const std::int32_t slot = Own(std::string(line.view()));
    entries_.push_back({owned_[static_cast<std::size_t>(slot)], slot});
  }
  ++count_;
}

void LineList::AddRun(const FileText& source, std::size_t begin, std::size_t cut) {
  if (count_ == 0 && source_.get() != &source) source_ = source.shared_from_this();
  const char* const base = source.bytes.data();
  const char* p = base + begin;
  const char* const stop = base + cut;
  // Room for as many marks as the run could need (a line takes a byte at
  // least): reserved, not touched, so growing never copies them.
  const std::size_t room = marks_.size() + (cut - begin) / kMarkEvery + 1;
  if (room > marks_.capacity()) marks_.reserve(std::max(room, 2 * marks_.capacity()));
  while (p < stop) {
    if (count_ % kMarkEvery == 0) marks_.push_back(static_cast<std::size_t>(p - base));
    // Step over the LFs of the lines up to the next mark: whole blocks are
    // counted (a loop the compiler vectorises), the block holding the mark's
    // LF word by word, then byte by byte.
    std::int32_t need = kMarkEvery - count_ % kMarkEvery;
    constexpr std::ptrdiff_t kBlock = 64;
    while (stop - p >= kBlock) {
      unsigned char inBlock = 0;  // byte-wide, so that the sum vectorises well
      for (std::ptrdiff_t k = 0; k < kBlock; ++k) inBlock += p[k] == '\n';
      if (inBlock >= need) break;
      need -= inBlock;
      count_ += inBlock;
      p += kBlock;
    }
    if constexpr (std::endian::native == std::endian::little) {
      // Then word by word: one bit for each LF of the word.
      constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
      while (need > 0 && stop - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        const std::uint64_t x = word ^ 0x0A0A0A0A0A0A0A0AULL;  // zero bytes at the LFs
        std::uint64_t lfs = ~(((x & kLow7) + kLow7) | x | kLow7);
        // The count of flagged bytes, by a multiply: a popcount instruction
        // is not in the baseline instruction sets we build for.
        const auto inWord = static_cast<std::int32_t>(((lfs >> 7) * 0x0101010101010101ULL) >> 56);
        if (inWord < need) {
          need -= inWord;
          count_ += inWord;
          p += 8;
          continue;
        }
        for (int k = 1; k < need; ++k) lfs &= lfs - 1;  // keep the need-th LF
        p += std::countr_zero(lfs) / 8 + 1;
        count_ += need;
        need = 0;
      }
    }
    for (; p < stop && need > 0; ++p) {
      if (*p == '\n') {
        --need;
        ++count_;
      }
    }
  }
  next_ = cut;
  cursorIndex_ = -1;
}

std::string_view LineList::GetOther(std::int32_t index) const {
  CheckIndex(index);
  if (!compact_) return entries_[static_cast<std::size_t>(index)].text;
  if (index >= replacedLow_ && index <= replacedHigh_) {
    const auto it = replaced_.find(index);
    if (it != replaced_.end()) return owned_[static_cast<std::size_t>(it->second)];
  }
  if (index != cursorIndex_) Seek(index);
  return std::string_view(source_->bytes.data() + cursorBegin_, cursorSize_);
}

// Moves the cursor to `index`: from the cursor when it is a little before,
// else from the nearest mark.
void LineList::Seek(std::int32_t index) const {
  std::int32_t at;
  std::size_t begin;
  if (cursorIndex_ >= 0 && index > cursorIndex_ && index - cursorIndex_ <= kMarkEvery) {
    at = cursorIndex_ + 1;
    begin = cursorNext_;
  } else {
    at = index - index % kMarkEvery;
    begin = marks_[static_cast<std::size_t>(index / kMarkEvery)];
  }
  Span span = ScanLine(*source_, begin);
  for (; at < index; ++at) {
    begin = span.next;
    span = ScanLine(*source_, begin);
  }
  cursorIndex_ = index;
  cursorBegin_ = begin;
  cursorSize_ = span.size;
  cursorNext_ = span.next;
}

void LineList::Put(std::int32_t index, std::string line) {
  CheckIndex(index);
  if (compact_) {
    const auto it = replaced_.find(index);
    if (it != replaced_.end()) {
      owned_[static_cast<std::size_t>(it->second)] = std::move(line);
      return;
    }
    replaced_.emplace(index, Own(std::move(line)));
    if (replacedLow_ > replacedHigh_) {
      replacedLow_ = replacedHigh_ = index;
    } else {
      replacedLow_ = std::min(replacedLow_, index);
      replacedHigh_ = std::max(replacedHigh_, index);
    }
    return;
  }
  Entry& entry = entries_[static_cast<std::size_t>(index)];
  if (entry.owned < 0) {
    entry.owned = Own(std::move(line));
  } else {
    owned_[static_cast<std::size_t>(entry.owned)] = std::move(line);
  }
  entry.text = owned_[static_cast<std::size_t>(entry.owned)];
}

// Leaves the compact form: one entry per line from now on.
void LineList::ToEntries() {
  entries_.reserve(static_cast<std::size_t>(count_));
  std::size_t begin = marks_.empty() ? 0 : marks_.front();
  for (std::int32_t i = 0; i < count_; ++i) {
    const Span span = ScanLine(*source_, begin);
    const auto it = replaced_.find(i);
    if (it != replaced_.end()) {
      entries_.push_back({owned_[static_cast<std::size_t>(it->second)], it->second});
    } else {
      entries_.push_back({std::string_view(source_->bytes.data() + begin, span.size), -1});
    }
    begin = span.next;
  }
  compact_ = false;
  std::vector<std::size_t>().swap(marks_);
  replaced_.clear();
  cursorIndex_ = -1;
}

void LineList::Clear() {
  count_ = 0;
  source_.reset();
  owned_.clear();
  compact_ = true;
  std::vector<std::size_t>().swap(marks_);
  next_ = 0;
  replaced_.clear();
  replacedLow_ = 0;
  replacedHigh_ = -1;
  cursorIndex_ = -1;
  std::vector<Entry>().swap(entries_);
}

}  // namespace corvaldo
