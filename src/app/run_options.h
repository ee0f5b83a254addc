// The command-line switches and what they select.
#pragma once

#include <string>
#include <vector>

namespace corvaldo {

struct RunOptions {
  bool PatchRules = false;           // "/r"
  bool PatchCupScript = false;       // "/tp"
  bool PatchCountryDefault = false;  // "/td"
  bool Silent = false;               // "/s"
  bool MakeBackups = false;          // "/b"
};

// `arguments` excludes the program itself. Switches are matched after
// lower-casing ASCII letters; anything else is ignored.
RunOptions ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace corvaldo
