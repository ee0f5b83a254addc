// The game's line rules, the parts that search or copy.
#include "text/line_rules.h"

#include <cstring>

namespace corvaldo {

std::size_t GameTextEnd(std::string_view bytes, std::size_t from) {
  const std::size_t end = bytes.find(kEndOfText, from);
  return end == std::string_view::npos ? bytes.size() : end;
}

std::string_view LineAt(std::string_view text, std::size_t begin, std::size_t& next) {
  const std::size_t lf = text.find('\n', begin);
  next = lf == std::string_view::npos ? text.size() : lf + 1;
  return text.substr(begin, (lf == std::string_view::npos ? text.size() : lf) - begin);
}

bool HasCr(std::string_view line) { return std::memchr(line.data(), '\r', line.size()) != nullptr; }

std::size_t CopyWithoutCrs(std::string_view line, char* out) {
  char* write = out;
  for (const char c : line) {
    if (c != '\r') *write++ = c;
  }
  return static_cast<std::size_t>(write - out);
}

std::string WithoutCrs(std::string_view line) {
  std::string clean(line.size(), '\0');
  clean.resize(CopyWithoutCrs(line, clean.data()));
  return clean;
}

bool SameGameLine(std::string_view a, std::string_view b) {
  a = WithoutLineEndCr(a);
  b = WithoutLineEndCr(b);
  if (a == b) return true;
  if (!HasCr(a) && !HasCr(b)) return false;
  std::size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && a[i] == '\r') ++i;
    while (j < b.size() && b[j] == '\r') ++j;
    if (i == a.size() || j == b.size()) return i == a.size() && j == b.size();
    if (a[i++] != b[j++]) return false;
  }
}

}  // namespace corvaldo
