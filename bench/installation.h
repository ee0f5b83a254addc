// Synthetic game files for the benchmarks: shaped like the real ones (short
// CR LF lines, CP1252 names, indexes of brace records), at any size.
#pragma once

#include <cstddef>
#include <string>

namespace corvaldo::bench {

enum class IndexPlace { Start, End };

struct InstallationShape {
  int cupBlocks = 25;                  // cup blocks in the cup script
  std::size_t countryBytes = 100'000;  // approximate size of the country file
  IndexPlace indexPlace = IndexPlace::Start;
  unsigned seed = 38;
};

// The cup script: its count line, a comment header and `blocks` cup blocks,
// none of them Portugal's.
std::string CupScript(int blocks, unsigned seed);

// The country file: a header, the competition index (with one FA_CUP entry
// that still needs patching) at the start or the end, and club and player
// records filling it up to about `bytes`.
std::string CountryFile(std::size_t bytes, IndexPlace place, unsigned seed);

// A 40-line rules file whose two cup-related settings still need patching.
std::string RulesFile();

// Writes a Wine-prefix-shaped folder: `dir`/system.reg and the three game
// files under `dir`/drive_c/Games/TCM 2005. Returns false on an I/O error.
bool WriteInstallation(const std::string& dir, const InstallationShape& shape);

}  // namespace corvaldo::bench
