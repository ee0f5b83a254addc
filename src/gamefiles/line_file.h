// One game text file at a time, read by the game's line rules or rewritten
// whole with CR LF line ends. No operation raises.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "gamefiles/file_system.h"
#include "gamefiles/line_list.h"

namespace corvaldo {

class LineFile {
 public:
  explicit LineFile(FileSystem& fs) : fs_(fs) {}
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  // A file that cannot be read reads as empty; ReadOutcome tells why.
  void OpenForReading(const std::string& path);
  bool AtEnd() const;
  std::string ReadNextLine();
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
  FileSystem& fs_;
  Mode mode_ = Mode::Closed;
  ReadStatus readStatus_ = ReadStatus::Missing;
  std::string data_;
  std::size_t position_ = 0;
  std::unique_ptr<FileWriter> writer_;
};

// Copies `path` to `backupPath` unless something is there already; a failed
// copy is the caller's to notice (or ignore).
bool BackupOnce(FileSystem& fs, const std::string& path, const std::string& backupPath);

}  // namespace corvaldo
