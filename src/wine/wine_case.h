// How Wine compares names that differ only in case: registry key and value
// names, and file names inside a prefix.
#pragma once

namespace corvaldo {

// Upper-casing for the letters of CP1252, which is all a path or a key name
// handed to us can hold; other characters compare exactly.
inline char32_t FoldCase(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  switch (c) {
    case 0xFF:
      return 0x178;
    case 0x161:
      return 0x160;
    case 0x17E:
      return 0x17D;
    case 0x153:
      return 0x152;
    default:
      return c;
  }
}

}  // namespace corvaldo
