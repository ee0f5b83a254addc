// The rules patch on arbitrary bytes: it never raises, keeps the line count,
// changes only lines 31 and 34 (counting from 1) to their values, and changes
// nothing when run on its own output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/apply_patches.h"
#include "fuzz_support.h"
#include "patches/rewrite.h"
#include "patches/rules_patch.h"

namespace {

void Patch(corvaldo::MemoryFileSystem& fs) {
  using namespace corvaldo;
  RunOptions options;
  options.PatchRules = true;
  PatchState state(options, fs);
  state.InstallDir = fuzz::kDir;
  ApplyRulesPatch(state);
  FUZZ_CHECK(state.NotWritten().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvaldo;
  const std::string input = fuzz::Bytes(data, size);
  const std::string path = std::string(fuzz::kDir) + kRulesFile.path;
  MemoryFileSystem fs;
  fs.AddFile(path, input);
  Patch(fs);

  MemoryFileSystem original;
  original.AddFile(path, input);
  const std::vector<std::string> before = fuzz::ReadLines(original, path);
  const std::vector<std::string> after = fuzz::ReadLines(fs, path);
  FUZZ_CHECK(after.size() == before.size());
  bool needed = false;
  for (std::size_t i = 0; i < after.size(); ++i) {
    const char* required = i == 30 ? "2490379" : i == 33 ? "2490375" : nullptr;
    if (required) {
      FUZZ_CHECK(after[i] == required);
      needed = needed || before[i] != required;
    } else {
      FUZZ_CHECK(after[i] == before[i]);
    }
  }
  FUZZ_CHECK(fuzz::Rewrites(fs) == (needed ? 1 : 0));
  if (!needed) FUZZ_CHECK(fs.Content(path) == input);

  const std::string output = *fs.Content(path);
  const int rewrites = fuzz::Rewrites(fs);
  Patch(fs);
  FUZZ_CHECK(fuzz::Rewrites(fs) == rewrites);
  FUZZ_CHECK(fs.Content(path) == output);
  return 0;
}
