// The command line as arbitrary arguments (the input split at NUL bytes):
// exactly the one patch form, case and order never matter.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "fuzz_support.h"

namespace {

bool Same(const corvaldo::RunOptions& a, const corvaldo::RunOptions& b) {
  return a.PatchRules == b.PatchRules && a.PatchCupScript == b.PatchCupScript &&
         a.PatchCountryDefault == b.PatchCountryDefault && a.Silent == b.Silent &&
         a.MakeBackups == b.MakeBackups && a.Restore == b.Restore;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvaldo;
  std::vector<std::string> arguments;
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  arguments.push_back(current);

  const RunOptions options = ParseCommandLine(arguments);
  // Something is always patched, and never both forms of Portugal's entry.
  FUZZ_CHECK(options.PatchRules || options.PatchCupScript || options.PatchCountryDefault);
  FUZZ_CHECK(!(options.PatchCupScript && options.PatchCountryDefault));

  std::vector<std::string> shouted = arguments;
  for (std::string& argument : shouted) {
    for (char& c : argument) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
  }
  FUZZ_CHECK(Same(ParseCommandLine(shouted), options));
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  FUZZ_CHECK(Same(ParseCommandLine(reversed), options));
  return 0;
}
