#include "gamefiles/windows_names.h"

#include <algorithm>
#include <cstdio>

#include "gamefiles/file_system.h"

namespace corvaldo {
namespace {

constexpr std::string_view kLongTag = ".corvaldo-";
constexpr std::string_view kShortTag = "~scv";
constexpr std::size_t kDigits = 8;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

bool AllHex(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsHexDigit);
}

}  // namespace

std::string FolderOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash != std::string_view::npos) return std::string(path.substr(0, slash + 1));
  if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
  return std::string();
}

std::string WithListedName(const std::string& path, std::string_view listed) {
  const std::string folder = FolderOf(path);
  if (listed.empty() || folder.size() + listed.size() > kMaxPathLength) return path;
  return folder + std::string(listed);
}

TempNames TempNamesFor(std::string_view folder, std::string_view name, std::uint32_t salt) {
  char hex[kDigits + 1];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(salt));
  const std::string prefix(folder);
  if (!name.empty() &&
      folder.size() + name.size() + kLongTag.size() + 1 + kDigits <= kMaxPathLength) {
    const std::string base = prefix + std::string(name) + std::string(kLongTag);
    return {base + "N" + hex, base + "O" + hex};
  }
  // Deep folders: no room for the name, and fewer digits.
  const std::size_t fixed = folder.size() + kShortTag.size() + 1;
  if (fixed >= kMaxPathLength) return {};
  const std::string digits(hex, std::min(kDigits, kMaxPathLength - fixed));
  const std::string base = prefix + std::string(kShortTag);
  return {base + "N" + digits, base + "O" + digits};
}

std::optional<TempName> ParseTempName(std::string_view fileName) {
  auto kind = [](char c) -> std::optional<bool> {
    if (c == 'N') return false;
    if (c == 'O') return true;
    return std::nullopt;
  };
  const std::size_t longSuffix = kLongTag.size() + 1 + kDigits;
  if (fileName.size() > longSuffix) {
    const std::string_view suffix = fileName.substr(fileName.size() - longSuffix);
    const std::optional<bool> old = kind(suffix[kLongTag.size()]);
    if (suffix.starts_with(kLongTag) && old && AllHex(suffix.substr(kLongTag.size() + 1))) {
      const std::string target(fileName.substr(0, fileName.size() - longSuffix));
      return TempName{*old, target, target + std::string(suffix.substr(kLongTag.size() + 1))};
    }
  }
  if (!fileName.starts_with(kShortTag)) return std::nullopt;
  const std::string_view rest = fileName.substr(kShortTag.size());
  if (rest.size() > 1 && rest.size() <= 1 + kDigits) {
    const std::optional<bool> old = kind(rest[0]);
    if (old && AllHex(rest.substr(1)))
      return TempName{*old, std::string(), std::string(rest.substr(1))};
  }
  // The names of earlier versions: "~scv<8 hex>.tmp" for the new content and
  // "~scvb<8 hex>.tmp" for the old, without a key to pair them by.
  const bool legacyOld = rest.starts_with('b');
  const std::string_view digits = rest.substr(legacyOld ? 1 : 0);
  if (digits.size() == kDigits + 4 && digits.ends_with(".tmp") &&
      AllHex(digits.substr(0, kDigits))) {
    return TempName{legacyOld, std::string(), "~scv.tmp"};
  }
  return std::nullopt;
}

}  // namespace corvaldo
