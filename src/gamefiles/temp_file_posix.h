// A temporary file of ours beside the file it stands in for: its name, its one
// life from creation to being kept or discarded, and the clearing of leftovers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "gamefiles/io_posix.h"

namespace corvaldo {

// Created empty beside a target, written through fd(), then given exactly one
// outcome: kept at a name (Keep, replacing what is there, or KeepNoReplace,
// never replacing), or discarded. Dropped without one, it is discarded.
//
// While it lives it holds an exclusive flock, so that a later or parallel run
// can tell a live one from a leftover: a file nobody holds locked is one a
// killed run left behind. Where the file system allows, it has no name at all
// until it is kept (O_TMPFILE), so that a kill while writing leaves nothing.
class TempFile {
 public:
  // A new, empty temporary file beside `name` in `folder`: unnamed where the
  // file system allows and `unnamed` asks, else named and locked. Absent,
  // errno saying why, when none could be made.
  static std::optional<TempFile> CreateBeside(const std::string& folder, const std::string& name,
                                              bool unnamed);

  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() { Discard(); }

  int fd() const { return fd_.get(); }

  // Puts the finished file at `target` in the same folder, replacing what is
  // there, and makes that durable. False, the file discarded and errno saying
  // why, when it could not.
  bool Keep(const std::string& target);
  // The same, but refusing (EEXIST) when anything is at `target` already.
  bool KeepNoReplace(const std::string& target);
  // Removes the file; no effect once an outcome was given. Keeps errno.
  void Discard();

 private:
  TempFile() = default;
  bool Name();
  bool PlaceNoReplace(const std::string& target);
  void Remove(bool keepContent);

  std::string folder_;
  std::string base_;  // the name it stands in for ("" when that would be too long)
  std::string path_;  // its name, "" while it has none
  Descriptor fd_;
};

// Whether `name` is one our temporary files take: "<name>.corvaldo-XXXXXX",
// six letters or digits at the end.
bool IsTempName(std::string_view name);

// Removes what an earlier, killed run of ours left in `folder`: files with our
// temporary names that nobody holds locked. Never a file of another name, a
// link or a folder, and never one a running writer holds. A failure here
// costs nothing but the leftover.
void RemoveStaleTemps(const std::string& folder);

}  // namespace corvaldo
