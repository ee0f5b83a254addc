#include "gamefiles/line_file.h"

namespace corvaldo {
namespace {

constexpr char kCtrlZ = 26;

}  // namespace

void LineFile::OpenForReading(const std::string& path) {
  CloseFile();
  data_.clear();
  position_ = 0;
  if (path.size() > kMaxPathLength) {
    readStatus_ = ReadStatus::PathTooLong;
  } else {
    ReadResult result = fs_.ReadFile(path);
    readStatus_ = result.status;
    data_ = std::move(result.bytes);
  }
  mode_ = Mode::Reading;
}

bool LineFile::AtEnd() const {
  return mode_ != Mode::Reading || position_ >= data_.size() || data_[position_] == kCtrlZ;
}

std::string LineFile::ReadNextLine() {
  std::string line;
  const std::size_t size = data_.size();
  std::size_t i = position_;
  while (i < size) {
    const char c = data_[i];
    if (c == '\n') {
      ++i;
      break;
    }
    if (c == '\r') {
      if (i + 1 < size && data_[i + 1] == '\n') {
        i += 2;
        break;
      }
      ++i;  // a lone CR is dropped and the line goes on
      continue;
    }
    if (c == kCtrlZ) {
      // The text ends here, even inside a line.
      i = size;
      break;
    }
    line.push_back(c);
    ++i;
  }
  position_ = i;
  return line;
}

bool LineFile::OpenForRewrite(const std::string& path) {
  CloseFile();
  if (path.size() <= kMaxPathLength) writer_ = fs_.OpenForReplace(path);
  mode_ = writer_ ? Mode::Rewriting : Mode::RewriteRefused;
  return writer_ != nullptr;
}

void LineFile::WriteLine(std::string_view text) {
  if (mode_ != Mode::Rewriting) return;
  writer_->Write(text);
  writer_->Write("\r\n");
}

void LineFile::WriteLines(const LineList& lines) {
  for (std::int32_t i = 0; i < lines.Count(); ++i) WriteLine(lines.Get(i));
}

bool LineFile::CloseFile() {
  bool ok = true;
  if (mode_ == Mode::Rewriting) {
    ok = writer_->Commit();
    writer_.reset();
  } else if (mode_ == Mode::RewriteRefused) {
    ok = false;
  }
  if (mode_ == Mode::Reading) {
    data_.clear();
    data_.shrink_to_fit();
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
