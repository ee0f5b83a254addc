// Micro-benchmarks of the line store, in bytes of game file per second:
// splitting a file into lines, joining lines into CR LF output, and the
// country walk with and without its rewrite.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "app/apply_patches.h"
#include "app/run_options.h"
#include "gamefiles/file_system.h"
#include "gamefiles/line_file.h"
#include "gamefiles/line_list.h"
#include "installation.h"
#include "patches/country_patch.h"
#include "support/wine_registry.h"
#include "support/wine_registry_index.h"
#include "wine/system_reg.h"

namespace corvaldo::bench {
namespace {

const std::string kInstallDir = "C:\\G";
const std::string kCountryPath = kInstallDir + "\\database\\Country38.sav";

// Serves fixed bytes; a rewrite either lands (so later runs see it) or is
// only counted.
class ServedFileSystem : public FileSystem {
 public:
  explicit ServedFileSystem(bool keepWrites) : keepWrites_(keepWrites) {}
  void Put(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }
  std::size_t bytesWritten = 0;

  LockResult LockInstallation(const std::string&, std::chrono::milliseconds) override { return {}; }
  ReadResult ReadFile(const std::string& path) override {
    auto it = files_.find(path);
    if (it == files_.end()) return {};
    return {ReadStatus::Ok, it->second};
  }
  bool Exists(const std::string& path) override { return files_.count(path) != 0; }
  bool CopyNoReplace(const std::string&, const std::string&) override { return false; }
  std::unique_ptr<FileWriter> OpenForReplace(const std::string& path) override {
    return std::make_unique<Writer>(*this, path);
  }
  bool Remove(const std::string& path) override { return files_.erase(path) != 0; }

 private:
  class Writer : public FileWriter {
   public:
    Writer(ServedFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
    bool Write(std::string_view bytes) override {
      fs_.bytesWritten += bytes.size();
      if (fs_.keepWrites_) content_.append(bytes);
      return true;
    }
    bool Commit() override {
      if (fs_.keepWrites_) fs_.files_[path_] = std::move(content_);
      return true;
    }

   private:
    ServedFileSystem& fs_;
    std::string path_;
    std::string content_;
  };

  bool keepWrites_;
  std::map<std::string, std::string> files_;
};

// The country files, generated once per size.
const std::string& Country(std::size_t bytes) {
  static std::map<std::size_t, std::string> cache;
  auto it = cache.find(bytes);
  if (it == cache.end()) {
    it = cache.emplace(bytes, CountryFile(bytes, IndexPlace::End, 38)).first;
  }
  return it->second;
}

std::size_t SizeArg(const benchmark::State& state) {
  return static_cast<std::size_t>(state.range(0));
}

void LoadLines(FileSystem& fs, LineList& lines) {
  LineFile file(fs);
  lines.Clear();
  file.OpenForReading(kCountryPath);
  while (!file.AtEnd()) lines.Add(file.ReadNextLine());
  file.CloseFile();
}

// Reading a file into the line list, the way every patch loads its file.
void BM_SplitLines(benchmark::State& state) {
  ServedFileSystem fs(false);
  const std::string& bytes = Country(SizeArg(state));
  fs.Put(kCountryPath, bytes);
  LineList lines;
  for (auto _ : state) {
    LoadLines(fs, lines);
    benchmark::DoNotOptimize(lines.Count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["lines"] = lines.Count();
}

// Writing a loaded list back as CR LF lines.
void BM_JoinLines(benchmark::State& state) {
  ServedFileSystem fs(false);
  fs.Put(kCountryPath, Country(SizeArg(state)));
  LineList lines;
  LoadLines(fs, lines);
  LineFile file(fs);
  for (auto _ : state) {
    file.OpenForRewrite(kCountryPath);
    file.WriteLines(lines);
    benchmark::DoNotOptimize(file.CloseFile());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(fs.bytesWritten));
}

// The country patch over a file it has already patched: read and walk only.
void BM_CountryWalk(benchmark::State& state) {
  ServedFileSystem fs(true);
  const std::string& bytes = Country(SizeArg(state));
  fs.Put(kCountryPath, bytes);
  RunOptions options;
  options.PatchCupScript = true;
  PatchState patch(options, fs);
  patch.InstallDir = kInstallDir;
  ApplyCountryPatch(patch);  // the first run rewrites; the timed ones find nothing to do
  const std::size_t written = fs.bytesWritten;
  for (auto _ : state) {
    ApplyCountryPatch(patch);
    patch.lines.Clear();
  }
  if (fs.bytesWritten != written) state.SkipWithError("the walk rewrote a patched file");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// The country patch over an unpatched file: read, walk, and rewrite.
void BM_CountryWalkAndRewrite(benchmark::State& state) {
  ServedFileSystem fs(false);
  const std::string& bytes = Country(SizeArg(state));
  fs.Put(kCountryPath, bytes);
  RunOptions options;
  options.PatchCupScript = true;
  for (auto _ : state) {
    PatchState patch(options, fs);
    patch.InstallDir = kInstallDir;
    ApplyCountryPatch(patch);
    if (patch.lines.Count() == 0) state.SkipWithError("nothing was read");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// The game's value looked up in a registry of Wine's size and shape held in
// memory: the section filter, reading through its buffer as from a file.
void BM_SystemRegLookup(benchmark::State& state) {
  const std::string text =
      MakeWineSystemReg({.keys = static_cast<int>(state.range(0)), .seed = 3}, 0).text;
  SystemRegReader reader;
  for (auto _ : state) {
    if (!reader.FindInText(text, kGameKeyPath, kInstallDirValueName)) {
      state.SkipWithError("the game's value was not found");
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The same with every key decoded into an index, the plain reading.
void BM_SystemRegFullIndex(benchmark::State& state) {
  const std::string text =
      MakeWineSystemReg({.keys = static_cast<int>(state.range(0)), .seed = 3}, 0).text;
  for (auto _ : state) {
    if (!WineRegistryIndex(text).Find(kGameKeyPath, kInstallDirValueName)) {
      state.SkipWithError("the game's value was not found");
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

constexpr std::int64_t kSmall = 100'000;
constexpr std::int64_t kLarge = 16 << 20;

BENCHMARK(BM_SplitLines)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JoinLines)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountryWalk)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountryWalkAndRewrite)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SystemRegLookup)->Arg(15700)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SystemRegFullIndex)->Arg(15700)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvaldo::bench

BENCHMARK_MAIN();
