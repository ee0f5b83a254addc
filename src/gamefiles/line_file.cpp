#include "gamefiles/line_file.h"

#include <algorithm>

#include "text/line_rules.h"

namespace corvaldo {
namespace {

// Lines go to the writer in chunks of about this size.
constexpr std::size_t kChunkSize = 256 * 1024;

// The first Ctrl-Z, or CR not directly followed by an LF, in [from, to), or
// `to`. At open it finds in one pass where the text ends and whether any line
// needs normalising; after a normalised line, the next lone CR (the text has
// no Ctrl-Z before its end). Most files have neither, so the search goes by
// blocks that the compiler can vectorise.
std::size_t FindCtrlZOrLoneCr(const FileBytes& bytes, std::size_t from, std::size_t to) {
  const char* base = bytes.data();
  constexpr std::size_t kBlock = 64;
  std::size_t i = from;
  while (i + kBlock < to) {
    unsigned char found = 0;
    for (std::size_t k = i; k < i + kBlock; ++k) {
      found |=
          static_cast<unsigned char>((base[k] == kEndOfText) | IsStrayCr(base[k], base[k + 1]));
    }
    if (found) break;
    i += kBlock;
  }
  for (; i < to; ++i) {
    if (base[i] == kEndOfText || IsStrayCr(base[i], i + 1 < to ? base[i + 1] : '\0')) return i;
  }
  return to;
}

// The first LF in [from, to) with no CR before it, or `to`. Lines start after
// an LF, so the byte before `from` is never a CR of the same line.
std::size_t FindBareLf(const FileBytes& bytes, std::size_t from, std::size_t to) {
  const char* base = bytes.data();
  std::size_t i = from;
  if (i == 0 && i < to) {
    if (IsBareLf('\0', base[0])) return 0;
    ++i;
  }
  constexpr std::size_t kBlock = 64;
  while (i + kBlock <= to) {
    unsigned char found = 0;
    for (std::size_t k = i; k < i + kBlock; ++k) {
      found |= static_cast<unsigned char>(IsBareLf(base[k - 1], base[k]));
    }
    if (found) break;
    i += kBlock;
  }
  for (; i < to; ++i) {
    if (IsBareLf(base[i - 1], base[i])) return i;
  }
  return to;
}

}  // namespace

void LineFile::OpenForReading(const std::string& path) {
  CloseFile();
  auto text = std::make_shared<FileText>();
  if (path.size() > kMaxPathLength) {
    readStatus_ = ReadStatus::PathTooLong;
  } else {
    ReadResult result = fs_.ReadFile(path);
    readStatus_ = result.status;
    text->bytes = std::move(result.bytes);
  }
  // The text ends at the first Ctrl-Z, even inside a line.
  const FileBytes& bytes = text->bytes;
  const std::size_t first = FindCtrlZOrLoneCr(bytes, 0, bytes.size());
  loneCr_ = first;
  text->end = bytes.size();
  if (first < bytes.size()) text->end = GameTextEnd(bytes.view(), first);
  text_ = std::move(text);
  position_ = 0;
  mode_ = Mode::Reading;
}

// Drops every CR of the line [begin, stop), moving the rest up, and marks the
// new end with a CR so that the line reads the same when a LineList finds it
// again. Returns the text's size.
std::size_t LineFile::Normalise(std::size_t begin, std::size_t stop, std::size_t next) {
  char* const line = text_->bytes.data() + begin;
  const std::size_t size = CopyWithoutCrs(std::string_view(line, stop - begin), line);
  line[size] = '\r';  // a CR was dropped, so this is still inside the line
  text_->compacted = true;
  loneCr_ = FindCtrlZOrLoneCr(text_->bytes, next, text_->end);
  return size;
}

void LineFile::AddLinesWithout(std::string_view word, LineList& lines) {
  if (AtEnd() || word.empty()) return;
  const char* const base = text_->bytes.data();
  // Searching stops at the first lone CR: dropping it could make a word.
  const std::size_t limit = std::min(loneCr_, text_->end);
  // A window at a time, so that the lines are counted while the search has
  // left them in the cache.
  std::size_t window = kChunkSize * 4;
  while (position_ < limit) {
    const std::size_t stop = limit - position_ > window ? position_ + window : limit;
    const std::string_view rest(base + position_, stop - position_);
    const std::size_t hit = rest.find(word);
    // The lines that end (at their LF) before the hit, or in the window, go in.
    std::size_t cut = position_;
    for (std::size_t i = position_ + std::min(hit, rest.size()); i > position_; --i) {
      if (base[i - 1] == '\n') {
        cut = i;
        break;
      }
    }
    const bool last = hit != std::string_view::npos || stop == limit;
    if (cut == position_) {
      if (last) return;
      window *= 2;  // a line longer than the window
      continue;
    }
    if (lines.CanAddRun(text_.get(), position_)) {
      lines.AddRun(*text_, position_, cut);
      position_ = cut;
    } else {
      while (position_ < cut) lines.Add(ReadNextLine());
    }
    if (last) return;
  }
}

bool LineFile::OpenForRewrite(const std::string& path) {
  CloseFile();
  if (path.size() <= kMaxPathLength) writer_ = fs_.OpenForReplace(path);
  mode_ = writer_ ? Mode::Rewriting : Mode::RewriteRefused;
  return writer_ != nullptr;
}

void LineFile::Flush() {
  if (pending_.empty()) return;
  writer_->Write(pending_);
  pending_.clear();
}

void LineFile::WriteLine(std::string_view text) {
  if (mode_ != Mode::Rewriting) return;
  const std::size_t size = text.size() + kRewriteLineEnd.size();
  if (pending_.size() + size > kChunkSize) {
    Flush();
    if (size > kChunkSize) {
      writer_->Write(text);
      writer_->Write(kRewriteLineEnd);
      return;
    }
  }
  pending_.append(text);
  pending_.append(kRewriteLineEnd);
}

void LineFile::WriteLines(const LineList& lines) {
  if (mode_ != Mode::Rewriting) return;
  if (lines.compact_ && lines.count_ > 0 && !lines.source_->compacted) {
    WriteKeptLines(lines);
    return;
  }
  for (std::int32_t i = 0; i < lines.Count(); ++i) WriteLine(lines.Get(i));
}

// The lines are consecutive lines of one file text that holds no lone CR:
// between the replaced lines they go out as stretches of that text.
void LineFile::WriteKeptLines(const LineList& lines) {
  const FileText& text = *lines.source_;
  std::size_t from = lines.marks_.front();
  for (const auto& [index, slot] : lines.replaced_) {
    lines.Seek(index);
    WriteStretch(text, from, lines.cursorBegin_);
    WriteLine(lines.owned_[static_cast<std::size_t>(slot)]);
    from = lines.cursorNext_;
  }
  WriteStretch(text, from, lines.next_);
}

// Whole lines [from, to) of the text, each written with CR LF: the text as it
// stands where its lines already end in CR LF.
void LineFile::WriteStretch(const FileText& text, std::size_t from, std::size_t to) {
  const char* base = text.bytes.data();
  while (from < to) {
    const std::size_t lf = FindBareLf(text.bytes, from, to);
    if (lf == to) {
      const std::string_view rest(base + from, to - from);
      WriteBytes(rest);
      if (LastLineUnended(rest)) WriteBytes(kRewriteLineEnd);
      return;
    }
    WriteBytes(std::string_view(base + from, lf - from));
    WriteBytes(kRewriteLineEnd);
    from = lf + 1;
  }
}

void LineFile::WriteBytes(std::string_view bytes) {
  if (pending_.size() + bytes.size() <= kChunkSize) {
    pending_.append(bytes);
    return;
  }
  Flush();
  while (bytes.size() >= kChunkSize) {
    writer_->Write(bytes.substr(0, kChunkSize));
    bytes.remove_prefix(kChunkSize);
  }
  pending_.append(bytes);
}

bool LineFile::CloseFile() {
  bool ok = true;
  if (mode_ == Mode::Rewriting) {
    Flush();
    ok = writer_->Commit();
    writer_.reset();
    std::string().swap(pending_);
  } else if (mode_ == Mode::RewriteRefused) {
    ok = false;
  }
  if (mode_ == Mode::Reading) {
    // The text lives on while a LineList keeps lines of it.
    text_.reset();
    position_ = 0;
  }
  mode_ = Mode::Closed;
  return ok;
}

bool BackupOnce(FileSystem& fs, const std::string& path, const std::string& backupPath) {
  if (path.size() > kMaxPathLength || backupPath.size() > kMaxPathLength) return false;
  return fs.CopyNoReplace(path, backupPath);
}

}  // namespace corvaldo
