// A home folder whose Steam libraryfolders.vdf and whose prefixes' system.reg
// hold arbitrary bytes (the input, split at its first form feed): the search
// never crashes or hangs, reports only what the registry text holds, and the
// library list stays bounded and absolute.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "wine/system_reg.h"
#include "wine/wine_prefix.h"

namespace {

std::string& Home() {
  static std::string home;
  return home;
}

void RemoveHome() {
  std::error_code ignored;
  std::filesystem::remove_all(Home(), ignored);
}

// Made once per process, removed when it exits.
std::string MakeHome() {
  char pattern[] = "/tmp/corvaldo-fuzz-home-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) abort();
  const std::string home = made;
  Home() = home;
  std::atexit(RemoveHome);
  for (const char* folder : {"/.wine", "/Games/tcm", "/.local/share/Steam/steamapps"}) {
    std::filesystem::create_directories(home + folder);
  }
  return home;
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvaldo;
  static const std::string home = MakeHome();
  const std::string text = fuzz::Bytes(data, size);
  const std::size_t split = text.find('\f');
  const std::string vdf = split == std::string::npos ? std::string() : text.substr(0, split);
  const std::string reg = split == std::string::npos ? text : text.substr(split + 1);

  const std::vector<std::string> libraries = SteamLibraryFolders(vdf);
  FUZZ_CHECK(libraries.size() <= 16);
  for (const std::string& library : libraries) {
    FUZZ_CHECK(!library.empty() && library[0] == '/');
    FUZZ_CHECK(library.find('\0') == std::string::npos);
  }

  Write(home + "/.local/share/Steam/steamapps/libraryfolders.vdf", vdf);
  Write(home + "/.wine/system.reg", reg);
  Write(home + "/Games/tcm/system.reg", reg);
  const std::optional<RegistryValue> expected =
      FindWineRegistryValue(reg, kGameKeyPath, kInstallDirValueName);
  for (const FoundPrefix& prefix : FindGamePrefixes({home, ""})) {
    if (prefix.path.compare(0, home.size() + 1, home + "/") != 0) continue;  // a library elsewhere
    FUZZ_CHECK(expected.has_value());
    FUZZ_CHECK(prefix.installDir.type == expected->type);
    FUZZ_CHECK(prefix.installDir.data == expected->data);
  }
  return 0;
}
