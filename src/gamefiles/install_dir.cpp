#include "gamefiles/install_dir.h"

#include "gamefiles/errors.h"
#include "text/text_helpers.h"

namespace corvaldo {

std::string ReadInstallDir(Registry& registry) {
  const std::optional<RegistryValue> value = registry.QueryInstallDir();
  if (!value || value->data.empty()) return {};
  if (value->type != kRegSz && value->type != kRegExpandSz) {
    throw ERegistryException(ERegistryException::Reason::InvalidDataType, kInstallDirValueName);
  }
  const std::string& data = value->data;
  return data.substr(0, data.find('\0'));
}

std::optional<std::string> LocateGame(Registry& registry) {
  std::string dir = ReadInstallDir(registry);
  if (IsBlank(dir)) return std::nullopt;
  // Only one: a value ending in two backslashes keeps one.
  if (RightStr(dir, 1) == "\\") dir.pop_back();
  return dir;
}

}  // namespace corvaldo
