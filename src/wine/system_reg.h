// Linux only: a Wine prefix's system.reg, read the way a 32-bit Windows
// process would see HKEY_LOCAL_MACHINE.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "gamefiles/registry.h"

namespace corvaldo {

// Anything bigger is not a registry file Wine wrote.
inline constexpr std::size_t kMaxRegistryFileSize = 256u << 20;

// Looks up a value of HKEY_LOCAL_MACHINE in the text of a prefix's system.reg,
// as a 32-bit process sees it: in a win64 prefix, Software\... is read from
// Software\Wow6432Node\.... `keyPath` and `valueName` are CP1252 and match
// case-insensitively; an empty `valueName` is the key's default value. Strings
// come back converted to CP1252 with their terminating NUL, the way
// RegQueryValueExA returns them. Absent when the text is not a Wine registry,
// or the key or the value is missing or malformed.
//
// Only the sections that can hold the key, or a registry link on its way, are
// decoded; every other section is passed over by its header's raw bytes.
std::optional<RegistryValue> FindWineRegistryValue(std::string_view systemReg,
                                                   std::string_view keyPath,
                                                   std::string_view valueName);

// The same, reading <prefix>/system.reg; absent when the file cannot be read,
// is not a regular file or is bigger than kMaxRegistryFileSize.
std::optional<RegistryValue> ReadPrefixRegistryValue(const std::string& prefix,
                                                     std::string_view keyPath,
                                                     std::string_view valueName);

// How reading a registry file went, and the value found.
struct PrefixRegistry {
  enum class Status {
    Read,         // looked through: `value` is the value, absent when the key or
                  // the value is missing, or the text is no registry
    Missing,      // no such file, or a folder on its way missing
    NotRegistry,  // not a regular file, or bigger than kMaxRegistryFileSize
    Unreadable,   // there, but could not be opened or read through: `error`
  };
  Status status = Status::Missing;
  int error = 0;  // the errno of the open or read that failed
  std::optional<RegistryValue> value;
};

// ReadPrefixRegistryValue, telling a file that is not there from one that
// could not be read.
PrefixRegistry ReadPrefixRegistry(const std::string& prefix, std::string_view keyPath,
                                  std::string_view valueName);

// Reads registry files one after another through one small buffer, so that a
// search over many prefixes never holds a whole file in memory.
class SystemRegReader {
 public:
  static constexpr std::size_t kDefaultChunk = 128u << 10;

  // `chunk`: the bytes read at a time (the tests make it tiny, to cut the
  // text anywhere).
  explicit SystemRegReader(std::size_t chunk = kDefaultChunk);
  ~SystemRegReader();
  SystemRegReader(const SystemRegReader&) = delete;
  SystemRegReader& operator=(const SystemRegReader&) = delete;

  // The value in the registry file `name` in the open folder `folder`, when it
  // is a regular file, not a symbolic link, of at most kMaxRegistryFileSize.
  std::optional<RegistryValue> FindAt(int folder, const char* name, std::string_view keyPath,
                                      std::string_view valueName);
  // The same for an open file, which this closes.
  std::optional<RegistryValue> Find(int fd, std::string_view keyPath, std::string_view valueName);
  // The same, telling what went wrong; `fd` may be the failed open's -1,
  // errno still holding why.
  PrefixRegistry Read(int fd, std::string_view keyPath, std::string_view valueName);
  // The same for text in memory (FindWineRegistryValue).
  std::optional<RegistryValue> FindInText(std::string_view text, std::string_view keyPath,
                                          std::string_view valueName);

  class Buffer;

 private:
  std::unique_ptr<Buffer> buffer_;
};

}  // namespace corvaldo
