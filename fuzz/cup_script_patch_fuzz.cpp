// The cup script patch on arbitrary bytes: it either raises one of the three
// errors having written nothing, or keeps every line it read, appends the
// cup, and changes nothing when run on its own output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/apply_patches.h"
#include "fuzz_support.h"
#include "gamefiles/errors.h"
#include "patches/cup_script_patch.h"
#include "patches/integer_text.h"
#include "patches/rewrite.h"

namespace {

struct Result {
  bool raised = false;
  std::int32_t cupIndex = 0;
  std::vector<std::string> lines;  // what the patch read, from the second line on
};

Result Patch(corvaldo::MemoryFileSystem& fs) {
  using namespace corvaldo;
  RunOptions options;
  options.PatchCupScript = true;
  PatchState state(options, fs);
  state.InstallDir = fuzz::kDir;
  Result result;
  try {
    ApplyCupScriptPatch(state);
  } catch (const EError&) {
    result.raised = true;
    return result;
  }
  FUZZ_CHECK(state.NotWritten().empty());  // nothing here fails a write
  FUZZ_CHECK(state.cupInScript);
  result.cupIndex = state.CupIndex;
  for (std::int32_t i = 0; i < state.lines.Count(); ++i)
    result.lines.emplace_back(state.lines.Get(i));
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvaldo;
  const std::string input = fuzz::Bytes(data, size);
  const std::string path = std::string(fuzz::kDir) + kCupScriptFile.path;
  MemoryFileSystem fs;
  fs.AddFile(path, input);

  const Result first = Patch(fs);
  if (first.raised || fuzz::Rewrites(fs) == 0) {
    // An error comes while reading, before any write; a found cup needs none.
    FUZZ_CHECK(fuzz::Rewrites(fs) == 0);
    FUZZ_CHECK(fs.Content(path) == input);
    return 0;
  }

  const std::vector<std::string> written = fuzz::ReadLines(fs, path);
  const auto block = PortugueseCupBlock(first.cupIndex);
  FUZZ_CHECK(written.size() == 1 + first.lines.size() + block.size());
  FUZZ_CHECK(written[0] ==
             IntToStr(static_cast<std::int32_t>(static_cast<std::uint32_t>(first.cupIndex) + 1u)));
  for (std::size_t i = 0; i < first.lines.size(); ++i) FUZZ_CHECK(written[1 + i] == first.lines[i]);
  for (std::size_t i = 0; i < block.size(); ++i) {
    FUZZ_CHECK(written[1 + first.lines.size() + i] == block[i]);
  }

  // The script's index line is read for two characters, so only an index
  // written in at most two is found again as itself.
  if (IntToStr(first.cupIndex).size() > 2) return 0;
  const std::string output = *fs.Content(path);
  const Result second = Patch(fs);
  FUZZ_CHECK(!second.raised);
  FUZZ_CHECK(fuzz::Rewrites(fs) == 1);
  FUZZ_CHECK(second.cupIndex == first.cupIndex);
  FUZZ_CHECK(fs.Content(path) == output);
  return 0;
}
