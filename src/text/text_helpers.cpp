#include "text/text_helpers.h"

#include <cstdint>

namespace corvaldo {
namespace {

// The one substring rule all helpers share: a start before 1 is moved to 1
// without shortening the count; a negative count or a start past the end gives
// nothing; a count past the end is cut.
std::string_view Substring(std::string_view s, std::int64_t start, std::int64_t count) {
  if (s.empty()) return {};
  if (start < 1) start = 1;
  const auto length = static_cast<std::int64_t>(s.size());
  if (start > length || count < 0) return {};
  if (count > length - start + 1) count = length - start + 1;
  return s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlankByte(text[begin])) ++begin;
  while (end > begin && IsBlankByte(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool IsBlank(std::string_view text) { return TrimBlanks(text).empty(); }

std::string LeftStr(std::string_view text, std::int32_t count) {
  return std::string(Substring(text, 1, count));
}

std::string RightStr(std::string_view text, std::int32_t count) {
  const auto length = static_cast<std::int64_t>(text.size());
  return std::string(Substring(text, length - count + 1, count));
}

std::int32_t CountOccurrences(std::string_view text, std::string_view pattern) {
  if (pattern.empty() || text.empty()) return 0;
  std::int32_t found = 0;
  const auto m = static_cast<std::int64_t>(pattern.size());
  for (std::int64_t i = 1; i <= static_cast<std::int64_t>(text.size()); ++i) {
    if (Substring(text, i, m) == pattern) ++found;
  }
  return found;
}

}  // namespace corvaldo
