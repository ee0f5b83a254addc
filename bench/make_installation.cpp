// Writes a synthetic Wine-prefix-shaped installation for the benchmarks.
// Usage: make_installation DIR CUP_BLOCKS COUNTRY_BYTES start|end
#include <cstdio>
#include <cstdlib>
#include <string>

#include "installation.h"

int main(int argc, char** argv) {
  using namespace corvaldo::bench;
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s DIR CUP_BLOCKS COUNTRY_BYTES start|end\n", argv[0]);
    return 2;
  }
  InstallationShape shape;
  shape.cupBlocks = std::atoi(argv[2]);
  shape.countryBytes = std::strtoull(argv[3], nullptr, 10);
  const std::string place = argv[4];
  if (shape.cupBlocks < 0 || (place != "start" && place != "end")) {
    std::fprintf(stderr, "make_installation: bad arguments\n");
    return 2;
  }
  shape.indexPlace = place == "start" ? IndexPlace::Start : IndexPlace::End;
  if (!WriteInstallation(argv[1], shape)) {
    std::fprintf(stderr, "make_installation: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
