// Makes sure the cup allocation script defines the Portuguese cup, and learns
// its index.
#pragma once

#include <array>

#include "patches/patch_state.h"

namespace corvaldo {

inline constexpr const char* kPortugueseCupMarker = "_ID_FACUP_PORTUGAL";

// Reads the script into state.lines (from its second line on), leaves the
// cup's index in state.CupIndex, and appends the cup when it is absent.
void ApplyCupScriptPatch(PatchState& state);

// The 35 lines that define the cup, numbered `cupIndex`.
std::array<std::string, 35> PortugueseCupBlock(std::int32_t cupIndex);

}  // namespace corvaldo
