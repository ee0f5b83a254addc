// The tests' full index of a registry text: every key decoded.
#include "support/wine_registry_index.h"

#include <string>

#include "wine/reg_keys.h"
#include "wine/reg_text.h"

namespace corvaldo {

WineRegistryIndex::WineRegistryIndex(std::string_view systemReg)
    : keys_(std::make_unique<reg::RegistryKeys>(std::string(systemReg))) {}
WineRegistryIndex::~WineRegistryIndex() = default;

std::optional<RegistryValue> WineRegistryIndex::Find(std::string_view keyPath,
                                                     std::string_view valueName) const {
  if (!keys_->Valid()) return std::nullopt;
  return keys_->Find(reg::ViewFor(reg::KeyPathFromCp1252(keyPath), keys_->Win64()),
                     reg::ValueNameFromCp1252(valueName));
}

}  // namespace corvaldo
