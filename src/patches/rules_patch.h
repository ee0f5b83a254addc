// Sets the two rule values the Portuguese cup needs.
#pragma once

#include "app/apply_patches.h"

namespace corvaldo {

void ApplyRulesPatch(PatchState& state);

}  // namespace corvaldo
