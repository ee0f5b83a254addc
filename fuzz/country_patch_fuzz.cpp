// The country patch on arbitrary bytes, in either form. It raises one of the
// three errors having written nothing, or rewrites the file with as many
// lines, changed only to the values it owns, and changes nothing when run on
// its own output.
// Input: byte 0 picks the form (odd: cup index, even: default cup), byte 1 is
// the cup index (as a signed byte), the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/apply_patches.h"
#include "fuzz_support.h"
#include "gamefiles/errors.h"
#include "patches/country_patch.h"
#include "patches/integer_text.h"
#include "patches/rewrite.h"

namespace {

bool Patch(corvaldo::MemoryFileSystem& fs, const corvaldo::RunOptions& options,
           std::int32_t cupIndex) {
  using namespace corvaldo;
  PatchState state(options, fs);
  state.InstallDir = fuzz::kDir;
  state.CupIndex = cupIndex;
  state.cupInScript = true;
  try {
    ApplyCountryPatch(state);
  } catch (const EError&) {
    return false;
  }
  FUZZ_CHECK(state.NotWritten().empty());
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvaldo;
  if (size < 2) return 0;
  RunOptions options;
  options.PatchCupScript = (data[0] & 1) != 0;
  options.PatchCountryDefault = !options.PatchCupScript;
  const std::int32_t cupIndex = static_cast<std::int8_t>(data[1]);
  const std::string input = fuzz::Bytes(data + 2, size - 2);
  const std::string path = std::string(fuzz::kDir) + kCountryFile.path;
  MemoryFileSystem fs;
  fs.AddFile(path, input);

  const bool finished = Patch(fs, options, cupIndex);
  if (!finished || fuzz::Rewrites(fs) == 0) {
    FUZZ_CHECK(fuzz::Rewrites(fs) == 0);
    FUZZ_CHECK(fs.Content(path) == input);
    return 0;
  }

  MemoryFileSystem original;
  original.AddFile(path, input);
  const std::vector<std::string> before = fuzz::ReadLines(original, path);
  const std::vector<std::string> after = fuzz::ReadLines(fs, path);
  FUZZ_CHECK(after.size() == before.size());
  bool changed = false;
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (after[i] == before[i]) continue;
    changed = true;
    if (options.PatchCupScript) {
      FUZZ_CHECK(after[i] == "DB_CUP" || after[i] == IntToStr(cupIndex));
    } else {
      FUZZ_CHECK(after[i] == "DB_CUP" || after[i] == "1" || after[i] == kDefaultCupNumbers);
    }
  }
  // A rewrite that changes no line only normalises line ends.
  if (!changed) FUZZ_CHECK(*fs.Content(path) != input);

  const std::string output = *fs.Content(path);
  FUZZ_CHECK(Patch(fs, options, cupIndex));
  FUZZ_CHECK(fuzz::Rewrites(fs) == 1);
  FUZZ_CHECK(fs.Content(path) == output);
  return 0;
}
