// The ordered list of lines the patches work on.
//
// A game file can hold millions of short lines, so the list does not copy the
// lines it is given by a LineFile: it keeps the file's text alive and
// remembers where its lines start (one position every kMarkEvery lines), and
// finds a line again by scanning from the nearest mark. Lines given as
// strings, and lines replaced by Put, are held apart. A list fed anything but
// consecutive lines of one file keeps one view or string per line instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gamefiles/file_system.h"

namespace corvaldo {

class LineFile;

// The bytes of one file as read. The text ends at `end` (the first Ctrl-Z,
// else the size). A line runs to its LF (or to `end`), and its text is those
// bytes without any CR. A line holding a CR other than the one before its LF
// is normalised in place when it is read: its text moved up to close the
// gaps, and a CR put after it (`compacted` tells that this happened). So the
// text of any line handed out runs from its start to the first CR or LF.
// Shared by the LineFile that reads it and every LineList that keeps lines of
// it.
struct FileText : std::enable_shared_from_this<FileText> {
  FileBytes bytes;
  std::size_t end = 0;
  bool compacted = false;
};

// One line just read by a LineFile: a view into the file's text, valid until
// the file is read again or closed, unless a LineList kept it. Converts to
// std::string (a copy) and std::string_view.
class LineText {
 public:
  LineText() = default;

  std::string_view view() const {
    return source_ ? std::string_view(source_->bytes.data() + begin_, size_) : std::string_view();
  }
  operator std::string_view() const { return view(); }
  operator std::string() const { return std::string(view()); }
  friend bool operator==(const LineText& line, std::string_view text) {
    return line.view() == text;
  }

 private:
  friend class LineFile;
  friend class LineList;
  LineText(const FileText* source, std::size_t begin, std::size_t size, std::size_t next)
      : source_(source), begin_(begin), size_(size), next_(next) {}

  const FileText* source_ = nullptr;
  std::size_t begin_ = 0;  // where the line starts in source_->bytes
  std::size_t size_ = 0;
  std::size_t next_ = 0;  // where the line after it starts
};

class LineList {
 public:
  LineList() = default;
  LineList(const LineList&) = delete;
  LineList& operator=(const LineList&) = delete;

  void Add(std::string line);
  void Add(const LineText& line) {
    // The common case, kept inline: the next line of the file being kept.
    if (compact_ && count_ % kMarkEvery != 0 && line.source_ == source_.get() &&
        line.source_ != nullptr && line.begin_ == next_) {
      next_ = line.next_;
      cursorIndex_ = count_++;
      cursorBegin_ = line.begin_;
      cursorSize_ = line.size_;
      cursorNext_ = line.next_;
      return;
    }
    AddOther(line);
  }
  // Both raise EStringListError, leaving the list unchanged, for an index
  // outside 0..Count()-1. A view from Get stays valid until the entry is Put
  // or the list is cleared.
  std::string_view Get(std::int32_t index) const {
    // The common case, kept inline: the line just added, or just found.
    if (index == cursorIndex_ && index >= 0 && compact_ &&
        (index < replacedLow_ || index > replacedHigh_)) {
      return std::string_view(source_->bytes.data() + cursorBegin_, cursorSize_);
    }
    return GetOther(index);
  }
  void Put(std::int32_t index, std::string line);
  std::int32_t Count() const { return count_; }
  void Clear();

 private:
  static constexpr std::int32_t kMarkEvery = 32;

  // The general form: one entry per line.
  struct Entry {
    std::string_view text;    // into source_ or into owned_
    std::int32_t owned = -1;  // its slot in owned_, or -1
  };

  // LineFile writes a kept file's lines back as whole stretches of its text.
  friend class LineFile;

  void AddOther(const LineText& line);
  // Whether the lines of `source` starting at `begin` can go in by AddRun.
  bool CanAddRun(const FileText* source, std::size_t begin) const {
    return compact_ && (count_ == 0 || (source == source_.get() && begin == next_));
  }
  // Adds the lines of `source` in [begin, cut), each ended by an LF inside it
  // and none needing its CRs dropped, without handing each one out.
  void AddRun(const FileText& source, std::size_t begin, std::size_t cut);
  std::string_view GetOther(std::int32_t index) const;
  void CheckIndex(std::int32_t index) const;
  void Seek(std::int32_t index) const;
  void ToEntries();
  std::int32_t Own(std::string line);

  std::int32_t count_ = 0;
  // The file text that lines are kept from.
  std::shared_ptr<const FileText> source_;
  // Lines held as strings: given to Add or Put. A deque never moves them, so
  // views stay valid.
  std::deque<std::string> owned_;

  // The compact form, while every line is the next line of source_: where
  // every kMarkEvery-th line starts, where the line after the last starts,
  // and the lines replaced by Put (index -> slot in owned_, with their range).
  bool compact_ = true;
  std::vector<std::size_t> marks_;
  std::size_t next_ = 0;
  std::map<std::int32_t, std::int32_t> replaced_;
  std::int32_t replacedLow_ = 0;
  std::int32_t replacedHigh_ = -1;
  // The line last found, so that reading the list in order costs one step.
  mutable std::int32_t cursorIndex_ = -1;
  mutable std::size_t cursorBegin_ = 0;
  mutable std::size_t cursorSize_ = 0;
  mutable std::size_t cursorNext_ = 0;

  std::vector<Entry> entries_;
};

}  // namespace corvaldo
