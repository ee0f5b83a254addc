// A prefix's system.reg as arbitrary text: the reader never crashes, gives
// what the full index of every key gives (for the game's key and for key and
// value names made of the input, read in pieces of a size the input picks),
// and whatever it finds goes on through the game lookup and one patch run over
// an empty installation in memory. The three errors are allowed outcomes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "app/apply_patches.h"
#include "fuzz_support.h"
#include "gamefiles/errors.h"
#include "gamefiles/registry.h"
#include "support/wine_registry_index.h"
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

void SameValue(const std::optional<corvaldo::RegistryValue>& filtered,
               const std::optional<corvaldo::RegistryValue>& indexed) {
  FUZZ_CHECK(filtered.has_value() == indexed.has_value());
  if (filtered) {
    FUZZ_CHECK(filtered->type == indexed->type);
    FUZZ_CHECK(filtered->data == indexed->data);
  }
}

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
  const WineRegistryIndex index(text);
  SameValue(value, index.Find(kGameKeyPath, kInstallDirValueName));

  // Key and value names made of the text's own bytes: a header's name and a
  // value's, when the text has them.
  const std::size_t split = size / 3;
  std::string key = text.substr(0, split), name = text.substr(split, split / 2);
  if (const std::size_t open = text.find('['); open != std::string::npos) {
    key = text.substr(open + 1, text.find(']', open) - open - 1);
    for (std::size_t at = 0; (at = key.find("\\\\", at)) != std::string::npos; ++at) {
      key.erase(at, 1);
    }
  }
  if (const std::size_t quote = text.rfind("\"="); quote != std::string::npos && quote > 0) {
    const std::size_t start = text.rfind('"', quote - 1);
    if (start != std::string::npos) name = text.substr(start + 1, quote - start - 1);
  }
  const std::size_t chunk = size > 0 ? 1 + data[size - 1] % 97 : 1;
  SystemRegReader reader(chunk);
  SameValue(reader.FindInText(text, key, name), index.Find(key, name));
  SameValue(reader.FindInText(text, kGameKeyPath, ""), index.Find(kGameKeyPath, ""));

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
