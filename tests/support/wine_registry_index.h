// A test oracle: every key of a registry text decoded and indexed, the plain
// reading that the streaming lookup's section filter must always agree with.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "gamefiles/registry.h"

namespace corvaldo {

namespace reg {
class RegistryKeys;
}

class WineRegistryIndex {
 public:
  explicit WineRegistryIndex(std::string_view systemReg);
  ~WineRegistryIndex();
  WineRegistryIndex(const WineRegistryIndex&) = delete;
  WineRegistryIndex& operator=(const WineRegistryIndex&) = delete;

  // As FindWineRegistryValue.
  std::optional<RegistryValue> Find(std::string_view keyPath, std::string_view valueName) const;

 private:
  std::unique_ptr<reg::RegistryKeys> keys_;
};

}  // namespace corvaldo
