#include "wine/system_reg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gamefiles/file_system_posix.h"
#include "text/cp1252.h"
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

bool Contains(const std::vector<Units>& names, const Units& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

constexpr std::string_view kRegistryMagic = "WINE REGISTRY Version 2";

// A chain of registry links longer than this is taken for a loop.
constexpr int kMaxLinkHops = 16;

struct KeySections {
  // Line ranges [first, end) of every section with this name; Wine merges them.
  std::vector<std::pair<std::size_t, std::size_t>> bodies;
  bool isLink = false;
};

}  // namespace

// A registry text split into lines, every key decoded into an index.
class WineRegistryIndex::Text {
 public:
  explicit Text(std::string text) : text_(std::move(text)) {
    const std::string_view view = text_;
    std::size_t start = 0;
    while (start < view.size()) {
      std::size_t end = view.find('\n', start);
      if (end == std::string_view::npos) end = view.size();
      std::string_view line = view.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.push_back(line);
      start = end + 1;
    }
    valid_ = !lines_.empty() && lines_[0] == kRegistryMagic;
    if (valid_) Index();
  }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  bool Valid() const { return valid_; }
  bool Win64() const { return win64_; }

  // The value in the key at `path`, which is already in the view to use.
  // With `known`, a text that holds only some keys: when the lookup needs a
  // key not among them (a link led elsewhere), it stops and names in `needed`
  // the path it was following.
  std::optional<RegistryValue> Find(KeyPath path, const Units& foldedName,
                                    const std::vector<Units>* known = nullptr,
                                    std::optional<KeyPath>* needed = nullptr) const {
    auto lookUp = [&](const Units& name) -> const KeySections* {
      if (known != nullptr && !Contains(*known, name)) {
        *needed = path;
        return nullptr;
      }
      auto it = keys_.find(name);
      return it == keys_.end() ? nullptr : &it->second;
    };
    // Follow registry links (#link keys); a loop of links gives up.
    for (int hop = 0;; ++hop) {
      bool redirected = false;
      for (std::size_t n = 1; n <= path.size() && !redirected; ++n) {
        const KeySections* key = lookUp(JoinKeyPath(path, n));
        if (needed != nullptr && *needed) return std::nullopt;
        if (key == nullptr || !key->isLink) continue;
        if (hop >= kMaxLinkHops) return std::nullopt;
        std::optional<KeyPath> target = LinkTarget(*key);
        if (!target) return std::nullopt;
        target->insert(target->end(), path.begin() + n, path.end());
        path = std::move(*target);
        redirected = true;
      }
      if (!redirected) break;
    }
    const KeySections* key = lookUp(JoinKeyPath(path));
    if (key == nullptr) return std::nullopt;
    return FindValue(*key, foldedName);
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
      const std::optional<std::uint32_t> number = ParseHex32(line, pos);
      SkipSpaces(line, pos);
      if (!number || pos != line.size()) return std::nullopt;
      const std::uint32_t value = *number;
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
      const std::optional<std::uint32_t> number = ParseHex32(line, pos);
      if (!number || line.substr(pos, 2) != "):") return std::nullopt;
      pos += 2;
      type = *number;
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

  std::string text_;
  std::vector<std::string_view> lines_;
  std::unordered_map<Units, KeySections> keys_;
  bool valid_ = false;
  bool win64_ = false;
};

namespace {

// A key path as Wine writes it in a section header, in upper case: components
// joined by an escaped backslash. Tells from the raw bytes of a header, before
// any decoding, that the header cannot name this key or one of its ancestors.
class HeaderPattern {
 public:
  static constexpr std::size_t kMaxLength = 480;

  // Absent when a component holds a character whose raw form could differ
  // from its plain one (escapes, non-ASCII, ']'): such keys are found by
  // decoding every header.
  static std::optional<HeaderPattern> For(const KeyPath& path) {
    HeaderPattern pattern;
    for (std::size_t c = 0; c < path.size(); ++c) {
      if (c > 0) {
        pattern.raw_ += "\\\\";
        pattern.kinds_.push_back(kSeparator);
        pattern.kinds_.push_back(kEscaped);
      }
      for (std::size_t i = 0; i < path[c].size(); ++i) {
        const char16_t u = path[c][i];
        if (u < 0x20 || u > 0x7E || u == u']') return std::nullopt;
        pattern.raw_ += static_cast<char>(u);
        pattern.kinds_.push_back(i == 0 ? kComponentStart : kInComponent);
      }
    }
    pattern.length_ = pattern.raw_.size();
    if (pattern.length_ > kMaxLength) return std::nullopt;
    pattern.raw_.resize((pattern.length_ / 8 + 1) * 8, '\0');
    return pattern;
  }

  // False only when the header whose name starts at `name` (after its '[')
  // cannot decode to this path or one of its ancestors. At least
  // kMaxLength + 8 bytes from `name` must be readable; past the header's line
  // end they do not change the answer.
  bool MayName(const char* name) const {
    const std::size_t i = Mismatch(name);
    const char c = name[i];
    if (i == length_) return c == ']' || c == '\\';
    // A backslash may start any escape, or an empty component; after the
    // first backslash of a separator the header has some other escape.
    if (c == '\\' || kinds_[i] == kEscaped) return true;
    // A name that ends here is an ancestor when it ends between components.
    if (c == ']') return kinds_[i] != kInComponent;
    // Any other byte decodes to itself or, from 0x80 up, to a non-ASCII
    // character (overlong forms are refused): the component differs.
    return false;
  }

 private:
  enum Kind : unsigned char { kComponentStart, kInComponent, kSeparator, kEscaped };

  static std::uint64_t Load(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
  }

  // ASCII a-z to A-Z in eight bytes at once; every other byte unchanged.
  static std::uint64_t Fold(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    const std::uint64_t low7 = word & (0x7F * kOnes);
    const std::uint64_t atLeastA = low7 + (0x80 - 'a') * kOnes;
    const std::uint64_t pastZ = low7 + (0x80 - 'z' - 1) * kOnes;
    const std::uint64_t lower = atLeastA & ~pastZ & ~word & (0x80 * kOnes);
    return word - (lower >> 2);
  }

  // The first position where the folded name and the pattern differ, at most
  // the pattern's length.
  std::size_t Mismatch(const char* name) const {
    for (std::size_t j = 0; j < length_; j += 8) {
      const std::uint64_t diff = Fold(Load(name + j)) ^ Load(raw_.data() + j);
      if (diff == 0) continue;
      const int bit = std::endian::native == std::endian::little ? std::countr_zero(diff)
                                                                 : std::countl_zero(diff);
      return std::min(j + static_cast<std::size_t>(bit) / 8, length_);
    }
    return length_;
  }

  std::string raw_;
  std::size_t length_ = 0;
  std::vector<Kind> kinds_;
};

// Bytes the scan may read past the last line it is handed.
constexpr std::size_t kScanPadding = HeaderPattern::kMaxLength + 32;

bool IsLineSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// The first '[' from `p` on, or `end`. Sections are a few hundred bytes
// apart: a call to memchr for each would cost more than the search itself.
// At least 64 bytes past `end` must be readable.
inline const char* FindBracket(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i bracket = _mm_set1_epi8('[');
  for (; p < end; p += 64) {
    const auto equal = [&](int at) {
      return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)), bracket);
    };
    const __m128i a = equal(0), b = equal(16), c = equal(32), d = equal(48);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) continue;
    const auto bits = [](__m128i v) {
      return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v)));
    };
    const std::uint64_t found = bits(a) | bits(b) << 16 | bits(c) << 32 | bits(d) << 48;
    return std::min(p + std::countr_zero(found), end);
  }
  return end;
#else
  const void* found = std::memchr(p, '[', static_cast<std::size_t>(end - p));
  return found != nullptr ? static_cast<const char*>(found) : end;
#endif
}

// Copies, from a registry text handed over in runs of whole lines, what a
// lookup of one key needs: the first line, the #arch lines before the first
// key, and the sections of the key and of its ancestors (where a link may
// stand), plus, when the text does not say its architecture, one key that
// shows it. Every other section is passed over by its header's raw bytes.
class SectionFilter {
 public:
  // `request` in the view the file decides; `linked`: keys a link leads to.
  SectionFilter(const KeyPath& request, const std::vector<KeyPath>& linked)
      : request_(request), linked_(linked) {
    text_.append(kRegistryMagic).push_back('\n');
  }
  SectionFilter(const SectionFilter&) = delete;
  SectionFilter& operator=(const SectionFilter&) = delete;

  // `begin`..`end` is one or more whole lines, each ending in '\n', the next
  // ones after those handed over before; kScanPadding bytes after `end` are
  // readable.
  void Take(const char* begin, const char* end) {
    regionStart_ = begin;
    const char* p = begin;
    while (p < end && phase_ != Phase::Rejected) {
      if (phase_ == Phase::Sections) {
        p = keeping_ ? KeepLines(p, end) : SkipToHeader(p, end);
        continue;
      }
      const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', end - p));
      std::string_view line(p, lineEnd - p);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (phase_ == Phase::FirstLine) {
        phase_ = line == kRegistryMagic ? Phase::Preamble : Phase::Rejected;
      } else {
        std::size_t pos = 0;
        SkipSpaces(line, pos);
        if (pos < line.size() && line[pos] == '[') {
          StartSections();
          continue;
        }
        if (line.substr(pos).starts_with("#arch=")) {
          const std::string_view arch = line.substr(pos + 6);
          archKnown_ = arch == "win64" || arch == "win32";
          win64_ = arch == "win64";
          text_.append(p, lineEnd + 1);
        }
      }
      p = lineEnd + 1;
    }
  }

  // After the last line.
  void Finish() {
    if (phase_ == Phase::FirstLine) phase_ = Phase::Rejected;
    if (phase_ == Phase::Preamble) StartSections();
  }

  bool Rejected() const { return phase_ == Phase::Rejected; }
  // The keys whose sections were kept: all a lookup may consult.
  const std::vector<Units>& Kept() const { return wanted_; }
  std::string TakeText() { return std::move(text_); }

 private:
  enum class Phase { FirstLine, Preamble, Sections, Rejected };

  void StartSections() {
    phase_ = Phase::Sections;
    std::vector<KeyPath> targets;
    if (!ViewDiffers(request_)) {
      targets.push_back(request_);
    } else if (archKnown_) {
      targets.push_back(win64_ ? Wow64View(request_) : request_);
    } else {
      targets.push_back(request_);
      targets.push_back(Wow64View(request_));
      needWow_ = true;
      wowPattern_ = HeaderPattern::For({u"SOFTWARE", u"WOW6432NODE"});
    }
    targets.insert(targets.end(), linked_.begin(), linked_.end());
    for (const KeyPath& target : targets) {
      for (std::size_t n = 1; n <= target.size(); ++n) Want(JoinKeyPath(target, n));
      if (target.empty()) Want(Units());
      if (std::optional<HeaderPattern> pattern = HeaderPattern::For(target)) {
        patterns_.push_back(std::move(*pattern));
      } else {
        everyHeader_ = true;
      }
    }
    if (patterns_.size() == 1 && !everyHeader_ && !needWow_) only_ = &patterns_.front();
  }

  void Want(Units name) {
    if (!Contains(wanted_, name)) wanted_.push_back(std::move(name));
  }

  // Inside a kept section: line by line, up to the next header.
  const char* KeepLines(const char* p, const char* end) {
    while (p < end) {
      const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', end - p));
      const char* first = p;
      while (first < lineEnd && IsLineSpace(*first)) ++first;
      if (first < lineEnd && *first == '[') return Header(p, first, end);
      text_.append(p, lineEnd + 1);
      p = lineEnd + 1;
    }
    return p;
  }

  // Outside: from '[' to '[' until one opens a line whose name may be wanted.
  // This loop runs once per key of the file: a header that cannot be wanted
  // costs a few word compares.
  const char* SkipToHeader(const char* p, const char* end) {
    for (;;) {
      const char* bracket = FindBracket(p, end);
      if (bracket == end) return end;
      const char* lineStart = bracket;
      if (lineStart > regionStart_ && lineStart[-1] != '\n') {
        while (lineStart > regionStart_ && IsLineSpace(lineStart[-1])) --lineStart;
      }
      if ((lineStart == regionStart_ || lineStart[-1] == '\n') && MayName(bracket + 1)) {
        return Header(lineStart, bracket, end);
      }
      p = bracket + 1;
    }
  }

  const char* Header(const char* lineStart, const char* bracket, const char* end) {
    keeping_ = false;
    if (!MayName(bracket + 1)) return bracket + 1;
    const char* lineEnd = static_cast<const char*>(std::memchr(bracket, '\n', end - bracket));
    std::string_view line(lineStart, lineEnd - lineStart);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t pos = bracket + 1 - lineStart;
    if (std::optional<Units> name = ParseEscapedText(line, pos, ']')) {
      const KeyPath path = SplitKeyPath(*name);
      keeping_ = Contains(wanted_, JoinKeyPath(path));
      const bool showsArch = needWow_ && IsWow64Key(path);
      if (keeping_ || showsArch) text_.append(lineStart, lineEnd + 1);
      if (showsArch) needWow_ = false;
    }
    return lineEnd + 1;
  }

  bool MayName(const char* name) const {
    if (only_ != nullptr) return only_->MayName(name);
    if (everyHeader_) return true;
    if (needWow_ && wowPattern_->MayName(name)) return true;
    for (const HeaderPattern& pattern : patterns_) {
      if (pattern.MayName(name)) return true;
    }
    return false;
  }

  const KeyPath& request_;
  const std::vector<KeyPath>& linked_;
  Phase phase_ = Phase::FirstLine;
  bool archKnown_ = false;
  bool win64_ = false;
  bool needWow_ = false;  // no #arch line: the first Wow6432Node key is kept to show it
  bool everyHeader_ = false;
  bool keeping_ = false;
  std::vector<Units> wanted_;
  std::vector<HeaderPattern> patterns_;
  std::optional<HeaderPattern> wowPattern_;
  const HeaderPattern* only_ = nullptr;  // the usual case: one key, the architecture known
  const char* regionStart_ = nullptr;
  std::string text_;
};

}  // namespace

class SystemRegReader::Buffer {
 public:
  explicit Buffer(std::size_t chunk)
      : data_(new char[std::max<std::size_t>(chunk, 1) + kScanPadding]()),
        capacity_(std::max<std::size_t>(chunk, 1)) {}

  // Hands the bytes `read(into, room, offset)` gives, from offset 0 up to
  // the first 0, to `filter` in runs of whole lines. False when reading fails,
  // the text is not a registry file or is bigger than kMaxRegistryFileSize.
  template <class Read>
  bool Scan(Read& read, SectionFilter& filter) {
    std::size_t have = 0;
    std::size_t offset = 0;
    for (;;) {
      // A line longer than the buffer: only text Wine never writes.
      if (have == capacity_) Grow(have);
      const auto n = read(data_.get() + have, capacity_ - have, offset);
      if (n < 0) return false;
      if (n == 0) break;
      const char* fresh = data_.get() + have;
      have += static_cast<std::size_t>(n);
      offset += static_cast<std::size_t>(n);
      if (offset > kMaxRegistryFileSize) return false;
      // Anything else is refused on its first bytes, before more is read.
      if (offset == have &&
          std::memcmp(data_.get(), kRegistryMagic.data(), std::min(have, kRegistryMagic.size())))
        return false;
      const void* lastLineEnd = memrchr(fresh, '\n', static_cast<std::size_t>(n));
      if (lastLineEnd == nullptr) continue;
      const std::size_t taken = static_cast<const char*>(lastLineEnd) + 1 - data_.get();
      filter.Take(data_.get(), data_.get() + taken);
      if (filter.Rejected()) return false;
      std::memmove(data_.get(), data_.get() + taken, have - taken);
      have -= taken;
    }
    if (offset == 0) return false;
    if (have > 0) {
      data_[have++] = '\n';  // the last line's end, which changes nothing
      filter.Take(data_.get(), data_.get() + have);
    }
    filter.Finish();
    return !filter.Rejected();
  }

 private:
  void Grow(std::size_t have) {
    const std::size_t capacity = capacity_ * 2;
    std::unique_ptr<char[]> data(new char[capacity + kScanPadding]());
    std::memcpy(data.get(), data_.get(), have);
    data_ = std::move(data);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t capacity_;
};

namespace {

KeyPath ViewFor(const KeyPath& request, bool win64) {
  return win64 && ViewDiffers(request) ? Wow64View(request) : request;
}

// One pass over the text keeps the sections of the key and its ancestors; a
// link on the way to another key takes one more pass for each key it leads to.
template <class Read>
std::optional<RegistryValue> FindThroughFilter(SystemRegReader::Buffer& buffer, Read read,
                                               std::string_view keyPath,
                                               std::string_view valueName) {
  const KeyPath request = SplitKeyPath(Cp1252ToUnits(keyPath));
  const Units name = FoldUnits(Cp1252ToUnits(valueName));
  std::vector<KeyPath> linked;
  for (int pass = 0; pass <= kMaxLinkHops; ++pass) {
    SectionFilter filter(request, linked);
    if (!buffer.Scan(read, filter)) return std::nullopt;
    const WineRegistryIndex::Text registry(filter.TakeText());
    std::optional<KeyPath> needed;
    std::optional<RegistryValue> value =
        registry.Find(ViewFor(request, registry.Win64()), name, &filter.Kept(), &needed);
    if (!needed) return value;
    linked.push_back(std::move(*needed));
  }
  return std::nullopt;
}

// The size of an open regular file of at most `limit` bytes; absent for
// anything else: a FIFO or a device there would block the run or never end.
std::optional<std::size_t> RegularFileSize(int fd, std::size_t limit) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) > limit) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(st.st_size);
}

// Reads an open regular file of at most `limit` bytes whole. Closes `fd`.
std::optional<std::string> ReadRegularFile(int fd, std::size_t limit) {
  if (fd < 0) return std::nullopt;
  std::optional<std::string> data;
  if (const std::optional<std::size_t> size = RegularFileSize(fd, limit)) {
    data.emplace();
    data->reserve(*size);
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

}  // namespace

SystemRegReader::SystemRegReader(std::size_t chunk) : buffer_(std::make_unique<Buffer>(chunk)) {}
SystemRegReader::~SystemRegReader() = default;

std::optional<RegistryValue> SystemRegReader::Find(int fd, std::string_view keyPath,
                                                   std::string_view valueName) {
  return Read(fd, keyPath, valueName).value;
}

PrefixRegistry SystemRegReader::Read(int fd, std::string_view keyPath, std::string_view valueName) {
  PrefixRegistry result;
  if (fd < 0) {
    const bool absent = errno == ENOENT || errno == ENOTDIR;
    result.status = absent ? PrefixRegistry::Status::Missing : PrefixRegistry::Status::Unreadable;
    result.error = absent ? 0 : errno;
    return result;
  }
  result.status = PrefixRegistry::Status::NotRegistry;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    result.status = PrefixRegistry::Status::Unreadable;
    result.error = errno;
  } else if (RegularFileSize(fd, kMaxRegistryFileSize)) {
    int readError = 0;
    auto read = [fd, &readError](char* into, std::size_t room, std::size_t offset) {
      for (;;) {
        const ssize_t n = pread(fd, into, room, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) {
          if (n < 0) readError = errno;
          return n;
        }
      }
    };
    result.value = FindThroughFilter(*buffer_, read, keyPath, valueName);
    result.status = readError ? PrefixRegistry::Status::Unreadable : PrefixRegistry::Status::Read;
    result.error = readError;
    if (readError) result.value.reset();
  }
  close(fd);
  return result;
}

std::optional<RegistryValue> SystemRegReader::FindAt(int folder, const char* name,
                                                     std::string_view keyPath,
                                                     std::string_view valueName) {
  return Find(OpenUntimed(folder, name, kReadFlags | O_NOFOLLOW), keyPath, valueName);
}

std::optional<RegistryValue> SystemRegReader::FindInText(std::string_view text,
                                                         std::string_view keyPath,
                                                         std::string_view valueName) {
  auto read = [text](char* into, std::size_t room, std::size_t offset) -> std::ptrdiff_t {
    const std::size_t n = std::min(room, text.size() - std::min(offset, text.size()));
    std::memcpy(into, text.data() + offset, n);
    return static_cast<std::ptrdiff_t>(n);
  };
  return FindThroughFilter(*buffer_, read, keyPath, valueName);
}

std::optional<RegistryValue> FindWineRegistryValue(std::string_view systemReg,
                                                   std::string_view keyPath,
                                                   std::string_view valueName) {
  return SystemRegReader().FindInText(systemReg, keyPath, valueName);
}

std::optional<RegistryValue> ReadPrefixRegistryValue(const std::string& prefix,
                                                     std::string_view keyPath,
                                                     std::string_view valueName) {
  if (prefix.empty()) return std::nullopt;
  return ReadPrefixRegistry(prefix, keyPath, valueName).value;
}

PrefixRegistry ReadPrefixRegistry(const std::string& prefix, std::string_view keyPath,
                                  std::string_view valueName) {
  return SystemRegReader().Read(OpenUntimed(AT_FDCWD, (prefix + "/system.reg").c_str(), kReadFlags),
                                keyPath, valueName);
}

WineRegistryIndex::WineRegistryIndex(std::string_view systemReg)
    : text_(std::make_unique<Text>(std::string(systemReg))) {}
WineRegistryIndex::~WineRegistryIndex() = default;

std::optional<RegistryValue> WineRegistryIndex::Find(std::string_view keyPath,
                                                     std::string_view valueName) const {
  if (!text_->Valid()) return std::nullopt;
  return text_->Find(ViewFor(SplitKeyPath(Cp1252ToUnits(keyPath)), text_->Win64()),
                     FoldUnits(Cp1252ToUnits(valueName)));
}

std::optional<std::string> ReadRegularFileAt(int folder, const char* name, std::size_t limit) {
  return ReadRegularFile(OpenUntimed(folder, name, kReadFlags | O_NOFOLLOW), limit);
}

}  // namespace corvaldo
