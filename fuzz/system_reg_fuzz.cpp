// A prefix's system.reg as arbitrary text: the reader never crashes, and
// whatever it finds goes on through the game lookup and one patch run over an
// empty installation in memory. The three errors are allowed outcomes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "app/apply_patches.h"
#include "fuzz_support.h"
#include "gamefiles/errors.h"
#include "gamefiles/registry.h"
#include "ui/user_interface.h"
#include "wine/system_reg.h"
#include "wine/wine_path.h"

namespace {

class FoundValue : public corvaldo::Registry {
 public:
  explicit FoundValue(std::optional<corvaldo::RegistryValue> value) : value_(std::move(value)) {}
  std::optional<corvaldo::RegistryValue> QueryInstallDir() override { return value_; }

 private:
  std::optional<corvaldo::RegistryValue> value_;
};

class SilentUi : public corvaldo::UserInterface {
 public:
  void ShowStatusWindow(const std::string&) override {}
  int ShowMessageDialog(const std::string&, corvaldo::MessageKind) override { return 1; }
  void ShowFailureReport(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvaldo;
  const std::string text = fuzz::Bytes(data, size);
  std::optional<RegistryValue> value =
      FindWineRegistryValue(text, kGameKeyPath, kInstallDirValueName);

  // Key and value names made of the text's own bytes.
  const std::size_t split = size / 3;
  FindWineRegistryValue(text, text.substr(0, split), text.substr(split, split / 2));

  FoundValue registry(value);
  SilentUi ui;
  MemoryFileSystem files;
  try {
    const int code = ApplyPatches(ParseCommandLine({"/s", "/r"}), files, registry, ui);
    FUZZ_CHECK(code == kExitOk || code == kExitNotWritten);
  } catch (const EError&) {
  }
  for (const auto& [path, content] : files.Files()) FUZZ_CHECK(path.size() <= kMaxPathLength);

  if (value) {
    // Mapping the value as a path touches only a prefix that does not exist.
    MapWindowsPath("/nonexistent/corvaldo-fuzz-prefix", value->data, true);
  }
  return 0;
}
