// Integer text as the game's scripts hold it, and plain decimal output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvaldo {

// Leading spaces, an optional sign, then decimal digits or a hexadecimal form
// ("$", "x", "X", "0x", "0X"), within signed 32 bits. Anything else raises
// EConvertError naming the text.
std::int32_t StrToInt(std::string_view text);

std::string IntToStr(std::int32_t value);

}  // namespace corvaldo
