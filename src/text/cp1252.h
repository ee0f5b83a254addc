// Conversions between the game's 8-bit texts (Windows-1252) and UTF-8, the
// encoding of Linux terminals, file names in a Wine prefix and Wine's registry files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvaldo {

// Every byte maps to one code point. The five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to U+0081.. as Windows does.
char32_t Cp1252ToCodePoint(unsigned char byte);

// The byte for a code point, or '?' when Windows-1252 has none.
char CodePointToCp1252(char32_t codePoint);

std::string Cp1252ToUtf8(std::string_view text);

// A character Windows-1252 lacks, and each byte of invalid UTF-8, becomes '?'.
std::string Utf8ToCp1252(std::string_view text);

// Decodes the UTF-8 sequence at `pos` and moves past it. An invalid sequence
// (bad lead or continuation byte, overlong form, surrogate, beyond U+10FFFF,
// truncated) yields nullopt and moves past its first byte only.
std::optional<char32_t> NextUtf8CodePoint(std::string_view text, std::size_t& pos);

void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace corvaldo
