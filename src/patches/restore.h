// Puts the game files back as they were before this program's patch, from the
// backups "/b" kept, and never over a change made since.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "patches/patch_state.h"

namespace corvaldo {

// Why a file is not original after a restore, in both languages and short
// enough for the dialog: with the longest file name, 39 characters a line.
inline constexpr const char* kReasonChanged = "alterado / changed";
inline constexpr const char* kReasonNoBackup = "sem c\xF3pia / no backup";
inline constexpr const char* kReasonNotWritten = "n\xE3o gravado / unwritten";
inline constexpr const char* kReasonUnreadable = "ileg\xEDvel / unreadable";
// The file is original again, but its backup could not be removed.
inline constexpr const char* kReasonBackupKept = "c\xF3pia ficou / copy kept";

// Judges each game file, in the patches' order, against its backup, and
// records what became of it in state.reports:
// - a backup, and the file is what the patch makes of it (in any of its
//   forms): the backup's bytes go back through a crash-safe rewrite, and only
//   then is the backup removed (Restored);
// - a backup equal to the file: only the backup is removed (InOrder);
// - a backup, and the file neither (or missing): both stay (Kept, changed);
// - no backup, and the file patched (IsPatched): it stays (Kept, no backup);
// - no backup, and the file not patched or missing: nothing to do (InOrder).
// A file or backup that was not read whole cannot be judged, and a rewrite
// that did not land leaves the file as it was: both NotWritten, the backup
// kept. The patches' errors never end a restore: a backup they would stop
// at was never patched.
void RestoreGameFiles(PatchState& state);

// The cup indexes Portugal's entry may name after a patch: for each cup
// script given (its content, or absent for a missing file), the index the
// cup script patch leaves in it. Each index once, in the order found.
std::vector<std::int32_t> PatchedCupIndexes(
    const std::vector<std::optional<std::string_view>>& scripts);

// Whether `content` is what `file`'s patch makes of `original`, run once or,
// for the country file, its two forms one after the other: the cup-index
// form (with each of `cupIndexes`) and the default-cup form.
bool IsPatchOf(const GameFile& file, std::string_view content, std::string_view original,
               const std::vector<std::int32_t>& cupIndexes);

// Whether `content` is patched: some form of its patch would leave it as it
// is, having found its values in place (the cup block; every cup entry it
// works on naming the cup, at least one; the rule lines it holds set, at
// least one). A file the patch leaves alone only for want of anything to
// work on is not.
bool IsPatched(const GameFile& file, std::string_view content,
               const std::vector<std::int32_t>& cupIndexes);

}  // namespace corvaldo
