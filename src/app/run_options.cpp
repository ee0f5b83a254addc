#include "app/run_options.h"

namespace corvaldo {
namespace {

// Only A-Z change: the switches are ASCII, and other bytes must stay as typed.
std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

RunOptions ParseCommandLine(const std::vector<std::string>& arguments) {
  RunOptions options;
  for (const std::string& argument : arguments) {
    const std::string lowered = LowerAscii(argument);
    if (lowered == "/r") {
      options.PatchRules = true;
    } else if (lowered == "/tp") {
      options.PatchCupScript = true;
    } else if (lowered == "/td") {
      options.PatchCountryDefault = true;
    } else if (lowered == "/s") {
      options.Silent = true;
    } else if (lowered == "/b") {
      options.MakeBackups = true;
    } else if (lowered == "/u") {
      options.Restore = true;
    }
  }
  // A run without a patch switch is a cup script run.
  if (!options.PatchRules && !options.PatchCupScript && !options.PatchCountryDefault) {
    options.PatchCupScript = true;
  }
  // The cup-index form already points Portugal's entry somewhere; "/tp" wins.
  if (options.PatchCupScript && options.PatchCountryDefault) options.PatchCountryDefault = false;
  return options;
}

}  // namespace corvaldo
