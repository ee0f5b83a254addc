// The step every patch ends with when it has decided to change its file.
#pragma once

#include <functional>

#include "patches/patch_state.h"

namespace corvaldo {

inline std::string PathOf(const PatchState& state, const GameFile& file) {
  return state.InstallDir + file.path;
}

// Whether a read saw the whole file (a missing file is whole and empty). A
// patch never trusts, nor writes back, the lines of a file it did not read
// whole, and counts such a file as not written: it could not be checked.
inline bool ReadWhole(ReadStatus outcome) {
  return outcome == ReadStatus::Ok || outcome == ReadStatus::Missing;
}

// Backs the file up (with "/b") and rewrites it through `writeLines`; true
// when the new content landed. The rewrite is refused, and counted as not
// written, when the file was not read whole (`readOutcome`) or when "/b" was
// given for an existing file and no backup is there after the copy (a
// regular file: a folder, a FIFO or a dangling link at its name is none).
// Records the file's report either way.
bool RewriteGameFile(PatchState& state, const GameFile& file, ReadStatus readOutcome,
                     const std::function<void()>& writeLines);

// Records a file that was read whole and needed no change.
void ReportInOrder(PatchState& state, const GameFile& file);

}  // namespace corvaldo
