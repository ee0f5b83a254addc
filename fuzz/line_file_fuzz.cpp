// The line reader against a plain model of the game's line rules, and the
// writer's output read back: the same lines, CR LF after each.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "gamefiles/line_file.h"
#include "gamefiles/line_list.h"
#include "support/memory_file_system.h"

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

  // Lines taken in bulk up to a word, then one by one, into a list that keeps
  // views: the same lines, none of the bulk ones holding the word, and the
  // same bytes written back.
  const char* const words[] = {"%", "a", "\r", "%INDEX%COMPETITION"};
  const std::string word = words[size > 0 ? data[0] % 4 : 0];
  LineList kept;
  file.OpenForReading(source);
  std::size_t read = 0;
  while (!file.AtEnd()) {
    const std::int32_t before = kept.Count();
    file.AddLinesWithout(word, kept);
    for (std::int32_t i = before; i < kept.Count(); ++i, ++read) {
      FUZZ_CHECK(read < lines.size() && kept.Get(i) == lines[read]);
      FUZZ_CHECK(lines[read].find(word) == std::string::npos);
    }
    if (file.AtEnd()) break;
    kept.Add(file.ReadNextLine());
    FUZZ_CHECK(read < lines.size() && kept.Get(kept.Count() - 1) == lines[read]);
    ++read;
  }
  FUZZ_CHECK(read == lines.size() && kept.Count() == static_cast<std::int32_t>(read));
  FUZZ_CHECK(file.OpenForRewrite(target));
  file.WriteLines(kept);
  FUZZ_CHECK(file.CloseFile());
  FUZZ_CHECK(fs.Content(target) == expected);
  return 0;
}
