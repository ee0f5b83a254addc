#include "dryrun/dry_run_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "gamefiles/memory_writer.h"

namespace corvaldo {

ReadResult DryRunFileSystem::ReadFile(const std::string& path) {
  SetFailureReason({});
  if (removed_.count(path) != 0) return {ReadStatus::Missing, {}};
  if (const auto written = written_.find(path); written != written_.end()) {
    return {ReadStatus::Ok, FileBytes(written->second)};
  }
  const auto copy = copies_.find(path);
  ReadResult result = real_.ReadFile(copy != copies_.end() ? copy->second : path);
  SetFailureReason(real_.FailureReason());
  return result;
}

bool DryRunFileSystem::Exists(const std::string& path) {
  SetFailureReason({});
  if (removed_.count(path) != 0) return false;
  return written_.count(path) != 0 || copies_.count(path) != 0 || real_.Exists(path);
}

bool DryRunFileSystem::CopyNoReplace(const std::string& from, const std::string& to) {
  // A name removed here is still there for the real file system: no copy
  // can be judged there (and no run copies to a name it removed).
  if (Exists(to) || removed_.count(to) != 0) {
    SetFailureReason(std::strerror(EEXIST));
    return false;
  }
  bool possible;
  if (const auto written = written_.find(from); written != written_.end()) {
    // The source exists only here: the real file system can only say whether
    // a file could be made at `to`.
    possible = real_.OpenForReplace(to) != nullptr;
    if (possible) written_[to] = written->second;
  } else {
    const auto copy = copies_.find(from);
    const std::string source = copy != copies_.end() ? copy->second : from;
    possible = real_.CopyNoReplace(source, to);
    if (possible) copies_[to] = source;
  }
  SetFailureReason(real_.FailureReason());
  if (possible) changes_.push_back({Change::Kind::Copy, to, from});
  return possible;
}

std::unique_ptr<FileWriter> DryRunFileSystem::OpenForReplace(const std::string& path) {
  // The real writer only carries the answer; it is dropped uncommitted.
  const bool possible = real_.OpenForReplace(path) != nullptr;
  SetFailureReason(real_.FailureReason());
  if (!possible) return nullptr;
  return std::make_unique<MemoryWriter>(
      [this, path](std::string content) { Rewritten(path, std::move(content)); });
}

void DryRunFileSystem::Rewritten(const std::string& path, std::string content) {
  const bool first = std::none_of(changes_.begin(), changes_.end(), [&](const Change& c) {
    return c.kind == Change::Kind::Rewrite && c.path == path;
  });
  if (first) changes_.push_back({Change::Kind::Rewrite, path, {}});
  copies_.erase(path);
  removed_.erase(path);
  written_[path] = std::move(content);
}

bool DryRunFileSystem::Remove(const std::string& path) {
  if (!Exists(path)) return false;
  const bool real = real_.Exists(path);
  if (real && !real_.Remove(path)) {
    SetFailureReason(real_.FailureReason());
    return false;
  }
  // What this run wrote there goes with the name.
  written_.erase(path);
  copies_.erase(path);
  std::erase_if(changes_, [&](const Change& c) { return c.path == path; });
  if (real) {
    removed_.insert(path);
    changes_.push_back({Change::Kind::Remove, path, {}});
  }
  return true;
}

}  // namespace corvaldo
