// How the Windows file system names what it writes beside a game file: its
// temporary files, and the name a rewrite is swapped in under. Plain text, so
// that it is tested on every platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvaldo {

// The folder part of a path, with its trailing separator ("" for a bare name,
// "C:" for "C:name", which is relative to drive C's current folder).
std::string FolderOf(std::string_view path);

// `path` with its last component spelled `listed`, the name its folder lists
// for it (its letter case, or the long name of a short one), so that a file
// replaced under that name keeps it. `path` itself when `listed` is empty or
// the result would not fit in kMaxPathLength.
std::string WithListedName(const std::string& path, std::string_view listed);

// The two temporary names of one rewrite of the file `name` in `folder`: the
// new content is written to `fresh`; while it is swapped in, the old content
// stands for a moment at `old`. "<name>.corvaldo-N<8 hex digits>" and
// "<name>.corvaldo-O<...>", or, where that would make the path too long,
// "~scvN<hex digits>" and "~scvO<...>" with as many digits as fit. Both empty
// when not even one digit fits.
struct TempNames {
  std::string fresh;
  std::string old;
};
TempNames TempNamesFor(std::string_view folder, std::string_view name, std::uint32_t salt);

// A file name read back as one of ours: which content it holds, the game file
// it stands beside (empty in the short form), and the key shared by the two
// names of one rewrite. The names earlier versions used are ours too; they
// all share one key, having none of their own.
struct TempName {
  bool old = false;
  std::string target;
  std::string key;
};
std::optional<TempName> ParseTempName(std::string_view fileName);

}  // namespace corvaldo
