// Points Portugal's FA_CUP entries in the country file at the Portuguese cup
// (or, with "/td", at cup 1 with its fixed number list).
#pragma once

#include "patches/patch_state.h"

namespace corvaldo {

enum class IndexWalkState { OutsideIndex, InIndex, InCupEntry };

inline constexpr const char* kDefaultCupNumbers = "105,171,192,213,269,329";

void ApplyCountryPatch(PatchState& state);

}  // namespace corvaldo
