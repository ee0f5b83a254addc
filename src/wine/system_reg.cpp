#include "wine/system_reg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gamefiles/io_posix.h"
#include "wine/reg_keys.h"
#include "wine/reg_text.h"

namespace corvaldo {

// The decoding of the text and of the keys kept.
using namespace reg;

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
        if (std::optional<RegArch> arch = ParseArchLine(line, pos)) {
          arch_ = *arch;
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
    } else if (arch_.known) {
      targets.push_back(arch_.win64 ? Wow64View(request_) : request_);
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
  RegArch arch_;          // as the #arch lines before the first key say
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

// One pass over the text keeps the sections of the key and its ancestors; a
// link on the way to another key takes one more pass for each key it leads to.
template <class Read>
std::optional<RegistryValue> FindThroughFilter(SystemRegReader::Buffer& buffer, Read read,
                                               std::string_view keyPath,
                                               std::string_view valueName) {
  const KeyPath request = KeyPathFromCp1252(keyPath);
  const Units name = ValueNameFromCp1252(valueName);
  std::vector<KeyPath> linked;
  for (int pass = 0; pass <= kMaxLinkHops; ++pass) {
    SectionFilter filter(request, linked);
    if (!buffer.Scan(read, filter)) return std::nullopt;
    const RegistryKeys registry(filter.TakeText());
    std::optional<KeyPath> needed;
    std::optional<RegistryValue> value =
        registry.Find(ViewFor(request, registry.Win64()), name, &filter.Kept(), &needed);
    if (!needed) return value;
    linked.push_back(std::move(*needed));
  }
  return std::nullopt;
}

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
  return Find(OpenUntimed(folder, name, kPlainReadFlags | O_NOFOLLOW), keyPath, valueName);
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
  return SystemRegReader().Read(
      OpenUntimed(AT_FDCWD, (prefix + "/system.reg").c_str(), kPlainReadFlags), keyPath, valueName);
}

}  // namespace corvaldo
