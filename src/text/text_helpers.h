// Small pure functions on byte strings; positions count from 1 and counts out
// of range are absorbed, never reported.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvaldo {

// True when the text is empty or holds only bytes 0 to 32.
bool IsBlank(std::string_view text);
// The text without leading and trailing bytes 0 to 32.
std::string_view TrimBlanks(std::string_view text);
std::string LeftStr(std::string_view text, std::int32_t count);
std::string RightStr(std::string_view text, std::int32_t count);
// Overlapping matches count; an empty pattern occurs 0 times.
std::int32_t CountOccurrences(std::string_view text, std::string_view pattern);

}  // namespace corvaldo
