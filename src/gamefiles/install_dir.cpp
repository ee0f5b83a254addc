#include "gamefiles/install_dir.h"

#include "gamefiles/errors.h"
#include "ui/text_helpers.h"
#include "ui/user_interface.h"

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

std::optional<std::string> LocateGame(Registry& registry, UserInterface& ui, bool silent) {
  std::string dir = ReadInstallDir(registry);
  if (IsBlank(dir)) {
    if (!silent) ui.ShowMessageDialog(kNotInstalledMessage, 0);
    return std::nullopt;
  }
  // Only one: a value ending in two backslashes keeps one.
  if (RightStr(dir, 1) == "\\") dir.pop_back();
  return dir;
}

}  // namespace corvaldo
