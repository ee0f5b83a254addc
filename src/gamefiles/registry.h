// The registry seam: the one value the program reads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace corvaldo {

// The value types Windows reports: REG_SZ, REG_EXPAND_SZ, REG_BINARY,
// REG_DWORD, REG_LINK, REG_MULTI_SZ.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;

inline constexpr const char* kGameKeyPath = "SOFTWARE\\EA SPORTS\\TOTAL CLUB MANAGER 2005";
inline constexpr const char* kInstallDirValueName = "Install Dir";

// A value as RegQueryValueExA hands it back: its type and raw bytes (strings in
// CP1252, with their terminating NUL where Windows stores one).
struct RegistryValue {
  std::uint32_t type = 0;
  std::string data;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // "Install Dir" under the game's key of HKEY_LOCAL_MACHINE, as a 32-bit
  // process sees it. Empty when the key or the value is missing or cannot be
  // opened. May throw ERegistryException when the data cannot be fetched.
  virtual std::optional<RegistryValue> QueryInstallDir() = 0;
};

std::unique_ptr<Registry> MakePlatformRegistry();

}  // namespace corvaldo
