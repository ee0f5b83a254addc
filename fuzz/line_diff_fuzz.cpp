// The diff between two arbitrary files (the input split at its first NUL):
// its hunks, applied to the old file's lines as the game reads them, give the
// new file's lines, and each hunk's counts match its lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dryrun/line_diff.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvaldo;
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\0');
  const std::string before = input.substr(0, cut);
  const std::string after = cut == std::string::npos ? std::string() : input.substr(cut + 1);
  MemoryFileSystem fs;
  fs.AddFile(std::string(fuzz::kDir) + "\\old", before);
  fs.AddFile(std::string(fuzz::kDir) + "\\new", after);
  const std::vector<std::string> old = fuzz::ReadLines(fs, std::string(fuzz::kDir) + "\\old");
  const std::vector<std::string> wanted = fuzz::ReadLines(fs, std::string(fuzz::kDir) + "\\new");

  std::string hunks;
  WriteLineDiff(before, after, 3, [&](std::string_view piece) { hunks += piece; });
  FUZZ_CHECK(hunks.empty() == (old == wanted));
  std::vector<std::string> got;
  std::size_t next = 0, pos = 0;
  long oldLeft = 0, newLeft = 0;
  while (pos < hunks.size()) {
    const std::size_t lf = hunks.find('\n', pos);
    FUZZ_CHECK(lf != std::string::npos);
    const std::string line = hunks.substr(pos, lf - pos);
    pos = lf + 1;
    if (line.rfind("@@ -", 0) == 0) {
      FUZZ_CHECK(oldLeft == 0 && newLeft == 0);
      unsigned long start = 0, newStart = 0;
      long count = 1, newCount = 1;
      char* end = nullptr;
      start = std::strtoul(line.c_str() + 4, &end, 10);
      if (*end == ',') count = std::strtol(end + 1, &end, 10);
      FUZZ_CHECK(end[0] == ' ' && end[1] == '+');
      newStart = std::strtoul(end + 2, &end, 10);
      if (*end == ',') newCount = std::strtol(end + 1, &end, 10);
      FUZZ_CHECK(std::string(end) == " @@");
      const std::size_t first = count == 0 ? start : start - 1;
      FUZZ_CHECK(next <= first && first <= old.size());
      while (next < first) got.push_back(old[next++]);
      FUZZ_CHECK(got.size() == (newCount == 0 ? newStart : newStart - 1));
      oldLeft = count;
      newLeft = newCount;
    } else if (!line.empty() && line[0] == '+') {
      got.push_back(line.substr(1));
      FUZZ_CHECK(--newLeft >= 0);
    } else {
      FUZZ_CHECK(!line.empty() && (line[0] == ' ' || line[0] == '-') && next < old.size());
      FUZZ_CHECK(old[next++] == line.substr(1));
      FUZZ_CHECK(--oldLeft >= 0);
      if (line[0] == ' ') {
        got.push_back(line.substr(1));
        FUZZ_CHECK(--newLeft >= 0);
      }
    }
  }
  FUZZ_CHECK(oldLeft == 0 && newLeft == 0);
  while (next < old.size()) got.push_back(old[next++]);
  FUZZ_CHECK(got == wanted);
  return 0;
}
