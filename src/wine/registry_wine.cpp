// The registry seam on Linux: the game's key in the Wine prefix's system.reg.
#include <utility>

#include "gamefiles/registry.h"
#include "wine/system_reg.h"
#include "wine/wine_prefix.h"

namespace corvaldo {
namespace {

class WineRegistry : public Registry {
 public:
  explicit WineRegistry(std::string prefix) : prefix_(std::move(prefix)) {}

  // The file is read in one go, so the value cannot change between a size
  // query and a data query as it can on Windows: nothing here throws.
  std::optional<RegistryValue> QueryInstallDir() override {
    return ReadPrefixRegistryValue(prefix_, kGameKeyPath, kInstallDirValueName);
  }

 private:
  std::string prefix_;
};

}  // namespace

std::unique_ptr<Registry> MakeWineRegistry(std::string prefix) {
  return std::make_unique<WineRegistry>(std::move(prefix));
}

std::unique_ptr<Registry> MakePlatformRegistry() { return MakeWineRegistry(WinePrefixPath()); }

}  // namespace corvaldo
