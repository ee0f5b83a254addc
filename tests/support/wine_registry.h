// A synthetic system.reg of the size and shape Wine writes for a fresh 64-bit
// prefix: COM classes and interfaces in both views, time zones with binary
// values over several lines, services with str(2) and dword values, device
// properties of hex(ffff....) types, str(7) lists, registry links
// (SymbolicLinkValue), Wine's escapes in names and strings, #time lines. For
// the benchmarks, and for the tests that hold the section filter to the full
// index.
#pragma once

#include <string>
#include <vector>

namespace corvaldo::bench {

struct RegistryShape {
  int keys = 15700;      // about as many keys; Wine 8's wineboot writes about 15,700
  bool withGame = true;  // the game's key under Wow6432Node
  bool archLine = true;  // "#arch=win64", as Wine writes since 2010
  bool crlf = false;     // CR LF line ends, as after a trip through a Windows editor
  unsigned seed = 8;
};

inline constexpr const char* kSyntheticInstallDir = "C:\\Games\\TCM 2005\\";

struct SyntheticRegistry {
  std::string text;
  // Each key written, as a 32-bit program would name it (in CP1252, without
  // Wow6432Node for the 32-bit view), with the names of its values; only a
  // sample of the keys, about one in `sampleEvery`.
  struct Key {
    std::string path;
    std::vector<std::string> valueNames;
  };
  std::vector<Key> sample;
};

SyntheticRegistry MakeWineSystemReg(const RegistryShape& shape, int sampleEvery = 50);

}  // namespace corvaldo::bench
