// The command-line switches and what they select.
#pragma once

#include <string>
#include <vector>

#include "patches/patch_state.h"

namespace corvaldo {

// The six switches: the three the patches read, and these three.
struct RunOptions : PatchSwitches {
  bool PatchRules = false;  // "/r"
  bool Silent = false;      // "/s"
  // Put the original files back instead of patching ("/u"); it wins over
  // every patch switch.
  bool Restore = false;
};

// `arguments` excludes the program itself. Switches are matched after
// lower-casing ASCII letters; anything else is ignored.
RunOptions ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace corvaldo
