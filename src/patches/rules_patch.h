// Sets the two rule values the Portuguese cup needs.
#pragma once

#include "patches/patch_state.h"

namespace corvaldo {

void ApplyRulesPatch(PatchState& state);

}  // namespace corvaldo
