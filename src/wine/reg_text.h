// Linux only: the pieces of a Wine registry file's text decoded: key paths,
// quoted names and strings with Wine's escapes, value data, the #arch line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gamefiles/registry.h"

namespace corvaldo::reg {

// The first line of every registry file Wine writes.
inline constexpr std::string_view kRegistryMagic = "WINE REGISTRY Version 2";

// Registry names and string data are UTF-16 inside Wine.
using Units = std::u16string;

// A key path as a list of folded components.
using KeyPath = std::vector<Units>;

void SkipSpaces(std::string_view line, std::size_t& pos);

// Decodes one of Wine's quoted texts from `pos` up to `endChar` and moves past
// it. The text is UTF-8 with C escapes: \a \b \e \f \n \r \t \v, \x and one to
// four hex digits (a UTF-16 unit), a backslash and one to three octal digits;
// a backslash before any other character stands for that character. Absent
// when `endChar` never comes.
std::optional<Units> ParseEscapedText(std::string_view line, std::size_t& pos, char endChar);

// Upper-cased the way Wine compares names.
Units FoldUnits(Units text);

// A CP1252 key path as a 32-bit program names it (empty components dropped),
// and a CP1252 value name, folded.
KeyPath KeyPathFromCp1252(std::string_view keyPath);
Units ValueNameFromCp1252(std::string_view valueName);

// A key name from a section header split at its backslashes and folded;
// empty components are dropped.
KeyPath SplitKeyPath(const Units& path);

// The first `count` components of `path` joined again: the name a key is
// indexed by.
Units JoinKeyPath(const KeyPath& path, std::size_t count = SIZE_MAX);

// Whether a 32-bit process sees `path` elsewhere in a 64-bit prefix (under
// Software\Wow6432Node), that other place, and whether `path` lies there.
bool ViewDiffers(const KeyPath& path);
KeyPath Wow64View(KeyPath path);
bool IsWow64Key(const KeyPath& path);

// The key a 32-bit process reads for `request` in a prefix of that kind.
KeyPath ViewFor(const KeyPath& request, bool win64);

bool Contains(const std::vector<Units>& names, const Units& name);

// What an "#arch=" line says: a 64-bit prefix, a 32-bit one, or neither
// (any other word).
struct RegArch {
  bool known = false;
  bool win64 = false;
};

// The architecture the line states when, from `pos` on, it is an #arch line.
std::optional<RegArch> ParseArchLine(std::string_view line, std::size_t pos);

// The name of the value a line of a key's section defines, the line read up
// to `pos`: `@` (the default value, an empty name) or a quoted name, folded.
// Absent for any other line.
std::optional<Units> ParseValueName(std::string_view line, std::size_t& pos);

// The part of a value line after its name, `lines[0]` from `pos` on:
// `= type-tag data`, where hex data may go on over the following `lines` while
// each ends in a backslash. Strings come back in CP1252 with their NUL, as
// RegQueryValueExA returns them.
std::optional<RegistryValue> ParseValueData(std::span<const std::string_view> lines,
                                            std::size_t pos);

// Where a registry link's SymbolicLinkValue leads, as a path under
// HKEY_LOCAL_MACHINE; absent for any other value or place.
std::optional<KeyPath> ParseLinkTarget(const RegistryValue& value);

}  // namespace corvaldo::reg
