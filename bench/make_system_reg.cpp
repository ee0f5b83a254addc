// Writes a synthetic system.reg of Wine's size and shape for the benchmarks.
// Usage: make_system_reg FILE KEYS SEED game|nogame
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/wine_registry.h"

int main(int argc, char** argv) {
  using namespace corvaldo::bench;
  if (argc != 5 || (std::string(argv[4]) != "game" && std::string(argv[4]) != "nogame")) {
    std::fprintf(stderr, "usage: %s FILE KEYS SEED game|nogame\n", argv[0]);
    return 2;
  }
  RegistryShape shape;
  shape.keys = std::atoi(argv[2]);
  shape.seed = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
  shape.withGame = std::string(argv[4]) == "game";
  const std::string text = MakeWineSystemReg(shape, 0).text;
  std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!file.flush()) {
    std::fprintf(stderr, "make_system_reg: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
