// One game text file at a time, read by the game's line rules or rewritten
// whole with CR LF line ends. No operation raises.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "gamefiles/file_system.h"
#include "gamefiles/line_list.h"
#include "text/line_rules.h"

namespace corvaldo {

class LineFile {
 public:
  explicit LineFile(FileSystem& fs) : fs_(fs) {}
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  // A file that cannot be read reads as empty; ReadOutcome tells why.
  void OpenForReading(const std::string& path);
  bool AtEnd() const { return mode_ != Mode::Reading || position_ >= text_->end; }
  // The line is a view into the file's text (see LineText); a LineList keeps
  // it without copying.
  LineText ReadNextLine() {
    if (AtEnd()) return {};
    const char* const base = text_->bytes.data();
    const std::size_t end = text_->end;
    const std::size_t begin = position_;
    // A line runs to its LF; its text is those bytes without any CR.
    const char* lf = FindLf(base + begin, base + end);
    const std::size_t stop = lf ? static_cast<std::size_t>(lf - base) : end;
    const std::size_t next = lf ? stop + 1 : end;
    std::size_t size = stop - begin;
    if (loneCr_ >= stop) {
      // At most the CR of a CR LF.
      size = WithoutLineEndCr(std::string_view(base + begin, size)).size();
    } else {
      size = Normalise(begin, stop, next);
    }
    position_ = next;
    return LineText(text_.get(), begin, size, next);
  }
  // Adds to `lines` every line before the next one that may hold `word`,
  // without handing them out one by one: the lines skipped are those
  // ReadNextLine would have given, and none of them holds `word`. Stops
  // short of the text's last line and of any line whose CRs must be dropped,
  // so the line read next is one of those, or one holding `word`.
  void AddLinesWithout(std::string_view word, LineList& lines);
  // How the last OpenForReading went: anything but Ok or Missing means the
  // lines seen are not the whole file, so they must not be written back.
  ReadStatus ReadOutcome() const { return readStatus_; }

  // Starts a crash-safe rewrite; false (and every write skipped) when the file
  // may not be rewritten.
  bool OpenForRewrite(const std::string& path);
  void WriteLine(std::string_view text);
  void WriteLines(const LineList& lines);
  // Ends reading, or commits a rewrite: true only when the new content landed.
  // A rewrite that could not be opened reports false too.
  bool CloseFile();

 private:
  enum class Mode { Closed, Reading, Rewriting, RewriteRefused };
  // The first LF in [from, end), or null. Game files are mostly short lines,
  // where a call to memchr costs more than looking at a few words here.
  static const char* FindLf(const char* from, const char* end) {
    if constexpr (std::endian::native == std::endian::little) {
      constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
      for (int words = 0; words < 4 && end - from >= 8; ++words, from += 8) {
        std::uint64_t word;
        std::memcpy(&word, from, sizeof word);
        const std::uint64_t x = word ^ (kOnes * '\n');  // zero bytes where the LFs are
        const std::uint64_t zeros = (x - kOnes) & ~x & (kOnes << 7);
        if (zeros != 0) return from + std::countr_zero(zeros) / 8;
      }
    }
    return static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
  }
  std::size_t Normalise(std::size_t begin, std::size_t stop, std::size_t next);
  void WriteKeptLines(const LineList& lines);
  void WriteStretch(const FileText& text, std::size_t from, std::size_t to);
  void WriteBytes(std::string_view bytes);
  void Flush();

  FileSystem& fs_;
  Mode mode_ = Mode::Closed;
  ReadStatus readStatus_ = ReadStatus::Missing;
  std::shared_ptr<FileText> text_;
  std::size_t position_ = 0;
  // The first CR at or after position_ that is not followed by an LF; lines
  // before it need no normalising.
  std::size_t loneCr_ = 0;
  std::unique_ptr<FileWriter> writer_;
  // Lines to write, gathered into large chunks before they go to the writer.
  std::string pending_;
};

// Copies `path` to `backupPath` unless something is there already; a failed
// copy is the caller's to notice (or ignore).
bool BackupOnce(FileSystem& fs, const std::string& path, const std::string& backupPath);

}  // namespace corvaldo
