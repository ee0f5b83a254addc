// Helpers the fuzz targets share: the input as bytes, files read back as lines,
// and a check that aborts (so that libFuzzer records the input) when a
// property does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gamefiles/line_file.h"
#include "support/memory_file_system.h"

namespace corvaldo::fuzz {

inline constexpr const char* kDir = "C:\\Games\\TCM";

inline std::string Bytes(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// The lines a patch sees in `path`.
inline std::vector<std::string> ReadLines(MemoryFileSystem& fs, const std::string& path) {
  LineFile file(fs);
  std::vector<std::string> lines;
  file.OpenForReading(path);
  while (!file.AtEnd()) lines.push_back(file.ReadNextLine());
  file.CloseFile();
  return lines;
}

inline int Rewrites(const MemoryFileSystem& fs) {
  int count = 0;
  for (const auto& [op, path] : fs.Log()) count += op == MemoryFileSystem::Op::OpenReplace;
  return count;
}

[[noreturn]] inline void Broken(const char* property, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, property);
  std::abort();
}

}  // namespace corvaldo::fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::corvaldo::fuzz::Broken(#condition, __FILE__, __LINE__))
