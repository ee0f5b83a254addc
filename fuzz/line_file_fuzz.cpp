// The line reader against a plain model of the game's line rules, and the
// writer's output read back: the same lines, CR LF after each.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "gamefiles/line_file.h"
#include "gamefiles/line_list.h"
#include "gamefiles/memory_file_system.h"

namespace {

// Text ends at the first Ctrl-Z; LF ends a line; the last line needs no LF;
// every CR vanishes (before an LF it is part of the line end, elsewhere it is
// dropped).
std::vector<std::string> ModelLines(const std::string& bytes) {
  const std::string text = bytes.substr(0, bytes.find('\x1A'));
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line;
    for (std::size_t i = start; i < end; ++i) {
      if (text[i] != '\r') line.push_back(text[i]);
    }
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvaldo;
  const std::string input = fuzz::Bytes(data, size);
  const std::string source = std::string(fuzz::kDir) + "\\in.txt";
  const std::string target = std::string(fuzz::kDir) + "\\out.txt";
  MemoryFileSystem fs;
  fs.AddFile(source, input);

  const std::vector<std::string> lines = fuzz::ReadLines(fs, source);
  FUZZ_CHECK(lines == ModelLines(input));

  LineList list;
  std::string expected;
  for (const std::string& line : lines) {
    list.Add(line);
    expected += line + "\r\n";
  }
  LineFile file(fs);
  FUZZ_CHECK(file.OpenForRewrite(target));
  file.WriteLines(list);
  FUZZ_CHECK(file.CloseFile());
  FUZZ_CHECK(fs.Content(target) == expected);
  FUZZ_CHECK(fuzz::ReadLines(fs, target) == lines);
  return 0;
}
