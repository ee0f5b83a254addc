// Decoding of a Wine registry file's text: names, escapes, value data, #arch.
#include "wine/reg_text.h"

#include <algorithm>
#include <utility>

#include "text/cp1252.h"
#include "wine/wine_case.h"

namespace corvaldo::reg {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// One to eight hex digits at `pos` (a dword's value, a hex(N): type), moving
// past them; absent for none or more.
std::optional<std::uint32_t> ParseHex32(std::string_view line, std::size_t& pos) {
  std::uint32_t value = 0;
  int digits = 0;
  while (pos < line.size() && IsHexDigit(line[pos])) {
    if (++digits > 8) return std::nullopt;
    value = value * 16 + HexValue(line[pos++]);
  }
  if (digits == 0) return std::nullopt;
  return value;
}

void AppendUnits(Units& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// The escape after a backslash at `pos`, other than one that stands for the
// character itself: absent then, with `pos` unmoved.
std::optional<char16_t> ParseEscape(std::string_view line, std::size_t& pos) {
  const char e = line[pos];
  const char* const simple =
      "a\ab\be\x1B"
      "f\fn\nr\rt\tv\v";
  for (const char* s = simple; *s != '\0'; s += 2) {
    if (*s == e) {
      ++pos;
      return static_cast<unsigned char>(s[1]);
    }
  }
  if (e == 'x') {
    ++pos;
    if (pos >= line.size() || !IsHexDigit(line[pos])) return u'x';
    unsigned value = 0;
    for (int i = 0; i < 4 && pos < line.size() && IsHexDigit(line[pos]); ++i) {
      value = value * 16 + HexValue(line[pos++]);
    }
    return static_cast<char16_t>(value);
  }
  if (e >= '0' && e <= '7') {
    unsigned value = 0;
    for (int i = 0; i < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++i) {
      value = value * 8 + (line[pos++] - '0');
    }
    return static_cast<char16_t>(value);
  }
  return std::nullopt;
}

Units Cp1252ToUnits(std::string_view text) {
  Units out;
  for (char c : text)
    out.push_back(static_cast<char16_t>(Cp1252ToCodePoint(static_cast<unsigned char>(c))));
  return out;
}

// What RegQueryValueExA makes of UTF-16 string data: one byte per unit.
std::string UnitsToCp1252(const Units& units) {
  std::string out;
  out.reserve(units.size());
  for (char16_t u : units) out.push_back(CodePointToCp1252(u));
  return out;
}

Units Utf16LeBytesToUnits(std::string_view bytes) {
  Units units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return units;
}

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

struct StringTag {
  std::string_view tag;
  std::uint32_t type;
};
constexpr StringTag kStringTags[] = {
    {"\"", kRegSz}, {"str:\"", kRegSz}, {"str(2):\"", kRegExpandSz}, {"str(7):\"", kRegMultiSz}};

// A quoted string's text from `pos`, just after its opening quote.
std::optional<RegistryValue> ParseStringData(std::string_view line, std::size_t pos,
                                             std::uint32_t type) {
  std::optional<Units> text = ParseEscapedText(line, pos, '"');
  if (!text) return std::nullopt;
  text->push_back(u'\0');
  return RegistryValue{type, UnitsToCp1252(*text)};
}

// A dword's hex digits from `pos`, the rest of the line blank.
std::optional<RegistryValue> ParseDwordData(std::string_view line, std::size_t pos) {
  const std::optional<std::uint32_t> number = ParseHex32(line, pos);
  SkipSpaces(line, pos);
  if (!number || pos != line.size()) return std::nullopt;
  std::string data;
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>((*number >> (8 * i)) & 0xFF));
  return RegistryValue{kRegDword, data};
}

// The type `hex:` (REG_BINARY) or `hex(N):` at `pos` gives, moving past it.
std::optional<std::uint32_t> ParseHexTag(std::string_view line, std::size_t& pos) {
  const std::string_view rest = line.substr(pos);
  if (rest.starts_with("hex:")) {
    pos += 4;
    return kRegBinary;
  }
  if (!rest.starts_with("hex(")) return std::nullopt;
  pos += 4;
  const std::optional<std::uint32_t> number = ParseHex32(line, pos);
  if (!number || line.substr(pos, 2) != "):") return std::nullopt;
  pos += 2;
  return number;
}

// Comma-separated hex bytes from `pos` of `lines[0]`, going on to the next
// line after a backslash.
std::optional<RegistryValue> ParseHexData(std::span<const std::string_view> lines, std::size_t pos,
                                          std::uint32_t type) {
  std::string_view line = lines[0];
  std::size_t next = 1;
  std::string bytes;
  for (;;) {
    while (pos < line.size() && IsHexDigit(line[pos])) {
      unsigned value = HexValue(line[pos++]);
      if (pos < line.size() && IsHexDigit(line[pos])) value = value * 16 + HexValue(line[pos++]);
      if (pos < line.size() && IsHexDigit(line[pos])) return std::nullopt;
      bytes.push_back(static_cast<char>(value));
      SkipSpaces(line, pos);
      if (pos < line.size() && line[pos] == ',') ++pos;
      SkipSpaces(line, pos);
    }
    if (pos >= line.size()) break;
    if (line[pos] != '\\' || next >= lines.size()) return std::nullopt;
    line = lines[next++];
    pos = 0;
    SkipSpaces(line, pos);
  }
  if (IsStringType(type)) bytes = UnitsToCp1252(Utf16LeBytesToUnits(bytes));
  return RegistryValue{type, std::move(bytes)};
}

}  // namespace

void SkipSpaces(std::string_view line, std::size_t& pos) {
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
}

std::optional<Units> ParseEscapedText(std::string_view line, std::size_t& pos, char endChar) {
  Units out;
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == endChar) {
      ++pos;
      return out;
    }
    if (c == '\0') return std::nullopt;
    if (c == '\\') {
      if (++pos >= line.size() || line[pos] == '\0') return std::nullopt;
      if (std::optional<char16_t> unit = ParseEscape(line, pos)) {
        out.push_back(*unit);
        continue;
      }
      // Any other escaped character is taken as it is, below.
    }
    std::optional<char32_t> cp = NextUtf8CodePoint(line, pos);
    AppendUnits(out, cp.value_or(0xFFFD));
  }
  return std::nullopt;
}

Units FoldUnits(Units text) {
  for (char16_t& u : text) {
    if (u < 0xD800 || u > 0xDFFF) u = static_cast<char16_t>(FoldCase(u));
  }
  return text;
}

KeyPath KeyPathFromCp1252(std::string_view keyPath) { return SplitKeyPath(Cp1252ToUnits(keyPath)); }

Units ValueNameFromCp1252(std::string_view valueName) {
  return FoldUnits(Cp1252ToUnits(valueName));
}

KeyPath SplitKeyPath(const Units& path) {
  KeyPath out;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == Units::npos) end = path.size();
    if (end > start) out.push_back(FoldUnits(path.substr(start, end - start)));
    start = end + 1;
  }
  return out;
}

Units JoinKeyPath(const KeyPath& path, std::size_t count) {
  Units out;
  for (std::size_t i = 0; i < count && i < path.size(); ++i) {
    if (i > 0) out.push_back(u'\\');
    out += path[i];
  }
  return out;
}

// The view a 32-bit process has of HKLM\Software on 64-bit Windows: its
// Wow6432Node (the keys Windows shares between the views are none of ours).
bool ViewDiffers(const KeyPath& path) {
  return !path.empty() && path[0] == u"SOFTWARE" && !(path.size() > 1 && path[1] == u"WOW6432NODE");
}

KeyPath Wow64View(KeyPath path) {
  path.insert(path.begin() + 1, u"WOW6432NODE");
  return path;
}

bool IsWow64Key(const KeyPath& path) {
  return path.size() >= 2 && path[0] == u"SOFTWARE" && path[1] == u"WOW6432NODE";
}

KeyPath ViewFor(const KeyPath& request, bool win64) {
  return win64 && ViewDiffers(request) ? Wow64View(request) : request;
}

bool Contains(const std::vector<Units>& names, const Units& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::optional<RegArch> ParseArchLine(std::string_view line, std::size_t pos) {
  if (!line.substr(pos).starts_with("#arch=")) return std::nullopt;
  const std::string_view arch = line.substr(pos + 6);
  return RegArch{arch == "win64" || arch == "win32", arch == "win64"};
}

std::optional<Units> ParseValueName(std::string_view line, std::size_t& pos) {
  if (pos >= line.size()) return std::nullopt;
  if (line[pos] == '@') {
    ++pos;
    return Units();
  }
  if (line[pos] != '"') return std::nullopt;
  ++pos;
  std::optional<Units> name = ParseEscapedText(line, pos, '"');
  if (!name) return std::nullopt;
  return FoldUnits(std::move(*name));
}

std::optional<RegistryValue> ParseValueData(std::span<const std::string_view> lines,
                                            std::size_t pos) {
  const std::string_view line = lines[0];
  SkipSpaces(line, pos);
  if (pos >= line.size() || line[pos] != '=') return std::nullopt;
  ++pos;
  SkipSpaces(line, pos);
  const std::string_view rest = line.substr(pos);
  for (const StringTag& t : kStringTags) {
    if (rest.starts_with(t.tag)) return ParseStringData(line, pos + t.tag.size(), t.type);
  }
  if (rest.starts_with("dword:")) return ParseDwordData(line, pos + 6);
  const std::optional<std::uint32_t> type = ParseHexTag(line, pos);
  if (!type) return std::nullopt;
  return ParseHexData(lines, pos, *type);
}

std::optional<KeyPath> ParseLinkTarget(const RegistryValue& value) {
  if (value.type != kRegLink) return std::nullopt;
  // Stored as UTF-16LE without a terminator, e.g. \REGISTRY\Machine\Software\Classes.
  KeyPath path = SplitKeyPath(Utf16LeBytesToUnits(value.data));
  if (path.size() < 2 || path[0] != u"REGISTRY" || path[1] != u"MACHINE") return std::nullopt;
  path.erase(path.begin(), path.begin() + 2);
  return path;
}

}  // namespace corvaldo::reg
