#include "wine/system_reg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ui/cp1252.h"
#include "wine/wine_case.h"

namespace corvaldo {
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

void SkipSpaces(std::string_view line, std::size_t& pos) {
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
}

// Registry names and string data are UTF-16 inside Wine.
using Units = std::u16string;

void AppendUnits(Units& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// Decodes one of Wine's quoted texts from `pos` up to `endChar` and moves past
// it. The text is UTF-8 with C escapes: \a \b \e \f \n \r \t \v, \x and one to
// four hex digits (a UTF-16 unit), a backslash and one to three octal digits;
// a backslash before any other character stands for that character. Absent
// when `endChar` never comes.
std::optional<Units> ParseEscapedText(std::string_view line, std::size_t& pos, char endChar) {
  Units out;
  while (pos < line.size()) {
    char c = line[pos];
    if (c == endChar) {
      ++pos;
      return out;
    }
    if (c == '\0') return std::nullopt;
    if (c == '\\') {
      if (++pos >= line.size() || line[pos] == '\0') return std::nullopt;
      const char e = line[pos];
      const char* const simple =
          "a\ab\be\x1B"
          "f\fn\nr\rt\tv\v";
      bool handled = false;
      for (const char* s = simple; *s != '\0'; s += 2) {
        if (*s == e) {
          out.push_back(static_cast<unsigned char>(s[1]));
          ++pos;
          handled = true;
          break;
        }
      }
      if (handled) continue;
      if (e == 'x') {
        ++pos;
        if (pos >= line.size() || !IsHexDigit(line[pos])) {
          out.push_back(u'x');
          continue;
        }
        unsigned value = 0;
        for (int i = 0; i < 4 && pos < line.size() && IsHexDigit(line[pos]); ++i) {
          value = value * 16 + HexValue(line[pos++]);
        }
        out.push_back(static_cast<char16_t>(value));
        continue;
      }
      if (e >= '0' && e <= '7') {
        unsigned value = 0;
        for (int i = 0; i < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++i) {
          value = value * 8 + (line[pos++] - '0');
        }
        out.push_back(static_cast<char16_t>(value));
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

std::string Utf16LeBytesToCp1252(std::string_view bytes) {
  Units units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return UnitsToCp1252(units);
}

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// A key path as a list of folded components; empty components are dropped.
using KeyPath = std::vector<Units>;

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

Units JoinKeyPath(const KeyPath& path, std::size_t count = SIZE_MAX) {
  Units out;
  for (std::size_t i = 0; i < count && i < path.size(); ++i) {
    if (i > 0) out.push_back(u'\\');
    out += path[i];
  }
  return out;
}

struct KeySections {
  // Line ranges [first, end) of every section with this name; Wine merges them.
  std::vector<std::pair<std::size_t, std::size_t>> bodies;
  bool isLink = false;
};

class RegistryText {
 public:
  explicit RegistryText(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.push_back(line);
      start = end + 1;
    }
    valid_ = !lines_.empty() && lines_[0] == "WINE REGISTRY Version 2";
    if (valid_) Index();
  }

  bool Valid() const { return valid_; }
  bool Win64() const { return win64_; }

  // The value in the key at `path`, which is already in the view to use.
  std::optional<RegistryValue> Find(KeyPath path, const Units& foldedName) const {
    // Follow registry links (#link keys); a loop of links gives up.
    for (int hop = 0;; ++hop) {
      bool redirected = false;
      for (std::size_t n = 1; n <= path.size() && !redirected; ++n) {
        auto it = keys_.find(JoinKeyPath(path, n));
        if (it == keys_.end() || !it->second.isLink) continue;
        if (hop >= 16) return std::nullopt;
        std::optional<KeyPath> target = LinkTarget(it->second);
        if (!target) return std::nullopt;
        target->insert(target->end(), path.begin() + n, path.end());
        path = std::move(*target);
        redirected = true;
      }
      if (!redirected) break;
    }
    auto it = keys_.find(JoinKeyPath(path));
    if (it == keys_.end()) return std::nullopt;
    return FindValue(it->second, foldedName);
  }

 private:
  void Index() {
    KeySections* current = nullptr;
    bool sawKey = false;
    bool archKnown = false;
    for (std::size_t i = 1; i < lines_.size(); ++i) {
      std::string_view line = lines_[i];
      std::size_t pos = 0;
      SkipSpaces(line, pos);
      if (pos >= line.size()) continue;
      if (line[pos] == '[') {
        CloseSection(current, i);
        ++pos;
        std::optional<Units> name = ParseEscapedText(line, pos, ']');
        current = name ? &keys_[JoinKeyPath(SplitKeyPath(*name))] : nullptr;
        if (current) current->bodies.emplace_back(i + 1, i + 1);
        sawKey = true;
      } else if (!sawKey && line.substr(pos).starts_with("#arch=")) {
        std::string_view arch = line.substr(pos + 6);
        archKnown = arch == "win64" || arch == "win32";
        win64_ = arch == "win64";
      } else if (current && line.substr(pos) == "#link") {
        current->isLink = true;
      }
    }
    CloseSection(current, lines_.size());
    if (!archKnown) {
      // Prefixes written before Wine recorded the architecture: a 64-bit one
      // is recognisable by its 32-bit view of Software.
      const Units wow = u"SOFTWARE\\WOW6432NODE";
      for (const auto& [name, sections] : keys_) {
        if (name.starts_with(wow) && (name.size() == wow.size() || name[wow.size()] == u'\\')) {
          win64_ = true;
          break;
        }
      }
    }
  }

  static void CloseSection(KeySections* section, std::size_t end) {
    if (section) section->bodies.back().second = end;
  }

  std::optional<KeyPath> LinkTarget(const KeySections& link) const {
    std::optional<RegistryValue> value = FindValue(link, u"SYMBOLICLINKVALUE");
    if (!value || value->type != 6) return std::nullopt;
    // Stored as UTF-16LE without a terminator, e.g. \REGISTRY\Machine\Software\Classes.
    Units target;
    for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
      target.push_back(
          static_cast<char16_t>(static_cast<unsigned char>(value->data[i]) |
                                (static_cast<unsigned char>(value->data[i + 1]) << 8)));
    }
    KeyPath path = SplitKeyPath(target);
    if (path.size() < 2 || path[0] != u"REGISTRY" || path[1] != u"MACHINE") return std::nullopt;
    path.erase(path.begin(), path.begin() + 2);
    return path;
  }

  std::optional<RegistryValue> FindValue(const KeySections& key, const Units& foldedName) const {
    std::optional<RegistryValue> found;  // a later definition replaces an earlier one
    for (const auto& [first, end] : key.bodies) {
      for (std::size_t i = first; i < end; ++i) {
        std::string_view line = lines_[i];
        std::size_t pos = 0;
        SkipSpaces(line, pos);
        if (pos >= line.size()) continue;
        Units name;
        if (line[pos] == '@') {
          ++pos;
        } else if (line[pos] == '"') {
          ++pos;
          std::optional<Units> parsed = ParseEscapedText(line, pos, '"');
          if (!parsed) continue;
          name = std::move(*parsed);
        } else {
          continue;
        }
        if (FoldUnits(std::move(name)) != foldedName) continue;
        if (std::optional<RegistryValue> value = ParseData(i, pos, end)) found = std::move(value);
      }
    }
    return found;
  }

  // The part of a value line after its name: `= type-tag data`, where hex data
  // may go on over lines that end in a backslash.
  std::optional<RegistryValue> ParseData(std::size_t lineIndex, std::size_t pos,
                                         std::size_t endLine) const {
    std::string_view line = lines_[lineIndex];
    SkipSpaces(line, pos);
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    ++pos;
    SkipSpaces(line, pos);
    std::string_view rest = line.substr(pos);

    struct StringTag {
      std::string_view tag;
      std::uint32_t type;
    };
    for (const StringTag& t :
         {StringTag{"\"", kRegSz}, StringTag{"str:\"", kRegSz},
          StringTag{"str(2):\"", kRegExpandSz}, StringTag{"str(7):\"", kRegMultiSz}}) {
      if (!rest.starts_with(t.tag)) continue;
      pos += t.tag.size();
      std::optional<Units> text = ParseEscapedText(line, pos, '"');
      if (!text) return std::nullopt;
      text->push_back(u'\0');
      return RegistryValue{t.type, UnitsToCp1252(*text)};
    }

    if (rest.starts_with("dword:")) {
      pos += 6;
      std::uint32_t value = 0;
      int digits = 0;
      while (pos < line.size() && IsHexDigit(line[pos])) {
        if (++digits > 8) return std::nullopt;
        value = value * 16 + HexValue(line[pos++]);
      }
      SkipSpaces(line, pos);
      if (digits == 0 || pos != line.size()) return std::nullopt;
      std::string data;
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
      return RegistryValue{kRegDword, data};
    }

    std::uint32_t type;
    if (rest.starts_with("hex:")) {
      type = kRegBinary;
      pos += 4;
    } else if (rest.starts_with("hex(")) {
      pos += 4;
      std::uint64_t value = 0;
      int digits = 0;
      while (pos < line.size() && IsHexDigit(line[pos])) {
        if (++digits > 8) return std::nullopt;
        value = value * 16 + HexValue(line[pos++]);
      }
      if (digits == 0 || line.substr(pos, 2) != "):") return std::nullopt;
      pos += 2;
      type = static_cast<std::uint32_t>(value);
    } else {
      return std::nullopt;
    }

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
      if (line[pos] != '\\' || ++lineIndex >= endLine) return std::nullopt;
      line = lines_[lineIndex];
      pos = 0;
      SkipSpaces(line, pos);
    }
    if (IsStringType(type)) bytes = Utf16LeBytesToCp1252(bytes);
    return RegistryValue{type, std::move(bytes)};
  }

  std::vector<std::string_view> lines_;
  std::unordered_map<Units, KeySections> keys_;
  bool valid_ = false;
  bool win64_ = false;
};

// Reads an open file whole, refusing anything that is not a regular file of
// at most `limit` bytes: a FIFO or a device there would block the run or never
// end. Closes `fd`.
std::optional<std::string> ReadRegularFile(int fd, std::size_t limit) {
  if (fd < 0) return std::nullopt;
  std::optional<std::string> data;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<std::uint64_t>(st.st_size) <= limit) {
    data.emplace();
    data->reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      // It may grow while we read: the limit holds for what is read, too.
      if (n < 0 || data->size() + static_cast<std::size_t>(n) > limit) {
        data.reset();
        break;
      }
      if (n == 0) break;
      data->append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return data;
}

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// Looking up one value is no use of Wine's registry: its access time stays,
// where the file's owner (or root) may ask that.
int OpenUntimed(int folder, const char* name, int flags) {
  const int fd = openat(folder, name, flags | O_NOATIME);
  return fd >= 0 || errno != EPERM ? fd : openat(folder, name, flags);
}

}  // namespace

std::optional<RegistryValue> FindWineRegistryValue(std::string_view systemReg,
                                                   std::string_view keyPath,
                                                   std::string_view valueName) {
  RegistryText registry(systemReg);
  if (!registry.Valid()) return std::nullopt;
  KeyPath path = SplitKeyPath(Cp1252ToUnits(keyPath));
  // A 32-bit process on 64-bit Windows reads HKLM\Software from its
  // Wow6432Node (the keys Windows shares between the views are none of ours).
  if (registry.Win64() && !path.empty() && path[0] == u"SOFTWARE" &&
      !(path.size() > 1 && path[1] == u"WOW6432NODE")) {
    path.insert(path.begin() + 1, u"WOW6432NODE");
  }
  return registry.Find(std::move(path), FoldUnits(Cp1252ToUnits(valueName)));
}

std::optional<RegistryValue> ReadPrefixRegistryValue(const std::string& prefix,
                                                     std::string_view keyPath,
                                                     std::string_view valueName) {
  if (prefix.empty()) return std::nullopt;
  std::optional<std::string> text = ReadRegularFile(
      OpenUntimed(AT_FDCWD, (prefix + "/system.reg").c_str(), kReadFlags), kMaxRegistryFileSize);
  if (!text) return std::nullopt;
  return FindWineRegistryValue(*text, keyPath, valueName);
}

std::optional<std::string> ReadRegularFileAt(int folder, const char* name, std::size_t limit) {
  return ReadRegularFile(OpenUntimed(folder, name, kReadFlags | O_NOFOLLOW), limit);
}

}  // namespace corvaldo
