// What the three patches share while the patch procedure runs. The patches own
// it; the procedure only creates it and hands it to them in turn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gamefiles/file_system.h"
#include "gamefiles/line_file.h"
#include "gamefiles/line_list.h"

namespace corvaldo {

// The switches the patches read: the country patch's form and the backups.
struct PatchSwitches {
  bool PatchCupScript = false;       // "/tp"
  bool PatchCountryDefault = false;  // "/td"
  bool MakeBackups = false;          // "/b"
};

struct PatchState {
  PatchState(const PatchSwitches& patchSwitches, FileSystem& fileSystem)
      : options(patchSwitches), fs(fileSystem), file(fileSystem) {}

  const PatchSwitches options;
  FileSystem& fs;
  std::string InstallDir;
  LineList lines;
  LineFile file;
  std::int32_t CupIndex = 22;
  // Whether the cup script holds the Portuguese cup after its stage.
  bool cupInScript = false;
  // Game files (relative to InstallDir) that needed a rewrite that did not land.
  std::vector<std::string> notWritten;
};

}  // namespace corvaldo
