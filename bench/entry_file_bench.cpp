// The entry file at 100, 1,000 and 10,000 entries: listing, reading the last
// entry and each changing operation, against reading and writing the same
// bytes without any scrambling (split into lines, joined, written back the
// same way). Goal: each operation within 3 times the plain read and write
// at 10,000 entries, growing linearly with the entries.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "entries/entry_file.h"
#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/plugin_state.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace {

std::string Random(std::mt19937& rng, size_t n, const char* alphabet) {
  const std::string a(alphabet);
  std::string s;
  for (size_t i = 0; i < n; ++i) s += a[rng() % a.size()];
  return s;
}

std::string EntryName(int i) { return "Entry " + std::to_string(i); }

// A file of `count` entries with values of typical sizes.
std::string EntryFileText(int count) {
  std::mt19937 rng(static_cast<unsigned>(count));
  const char* alnum = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    lines.push_back("[" + EntryName(i) + "]");
    lines.push_back("Login=" + Random(rng, 10, alnum));
    lines.push_back("Password=" + Random(rng, 14, "abcdefghijklmnopqrstuvwxyz0123456789=!%"));
    lines.push_back("Domain=" + Random(rng, 8, alnum));
    lines.push_back("Numbers=" + Random(rng, 7, "0123456789") + "," + Random(rng, 7, "0123456789"));
    lines.push_back("Interval=30");
    lines.push_back("Tries=3");
    lines.push_back("Callback=" + Random(rng, 7, "0123456789"));
  }
  return FileTextFromPlainLines(lines);
}

// One world and plug-in directory for the whole run; each size gets its
// file written afresh.
class Files {
 public:
  static Files& Get() {
    static Files files;
    return files;
  }
  std::string path() const { return EntryFilePath(); }
  const std::string& Prepare(int count) {
    std::string& text = texts_[count];
    if (text.empty()) text = EntryFileText(count);
    ReplaceFileContents(path(), text);
    return text;
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

 private:
  Files() {
    root_ = std::filesystem::temp_directory_path() / ("vez_entry_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(root_ / "world");
    std::filesystem::create_directories(root_ / "plugin");
    setenv("WINAPI_WORLD", (root_ / "world").c_str(), 1);
    StandinReloadWorld();
    const std::string module = world::WindowsPath((root_ / "plugin" / "vezuzaziz.dll").string());
    module.copy(info_.ModulePath, sizeof info_.ModulePath - 1);
    SetHostRecord(&info_);
    SetModulePathFromField(info_.ModulePath);
  }
  std::filesystem::path root_;
  HostStartupInfo info_{};
  std::map<int, std::string> texts_;
};

DialEntry NewEntry(const std::string& name) {
  return DialEntry{name, "newlogin", "newpassword", "DOMAIN", "5550100,5550101", "30", "3", "5550199"};
}

// The baseline: the same bytes read, split into lines, joined and written.
void BM_PlainReadWrite(benchmark::State& state) {
  Files& f = Files::Get();
  f.Prepare(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const std::string data = ReadWholeFile(f.path());
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < data.size()) {
      size_t end = data.find("\r\n", at);
      if (end == std::string::npos) end = data.size();
      lines.emplace_back(data, at, end - at);
      at = end + 2;
    }
    std::string out;
    out.reserve(data.size());
    for (const std::string& line : lines) out.append(line).append("\r\n");
    ReplaceFileContents(f.path(), out);
  }
}

void BM_ListEntryNames(benchmark::State& state) {
  Files::Get().Prepare(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ListEntryNames());
}

void BM_ReadLastEntry(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  Files::Get().Prepare(count);
  for (auto _ : state) {
    if (!ReadDialEntry(EntryName(count - 1))) state.SkipWithError("last entry not found");
  }
}

void BM_AppendDialEntry(benchmark::State& state) {
  Files& f = Files::Get();
  const std::string& original = f.Prepare(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    AppendDialEntry(NewEntry("Added"));
    state.PauseTiming();
    ReplaceFileContents(f.path(), original);
    state.ResumeTiming();
  }
}

void BM_ReplaceDialEntry(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  Files::Get().Prepare(count);
  for (auto _ : state) ReplaceDialEntry(NewEntry(EntryName(count / 2)));
}

void BM_RenameDialEntry(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  Files::Get().Prepare(count);
  const std::string names[2] = {EntryName(count / 2), "Renamed"};
  int turn = 0;
  for (auto _ : state) {
    RenameDialEntry(names[turn], NewEntry(names[1 - turn]));
    turn = 1 - turn;
  }
}

void BM_DeleteDialEntry(benchmark::State& state) {
  Files& f = Files::Get();
  const int count = static_cast<int>(state.range(0));
  const std::string& original = f.Prepare(count);
  for (auto _ : state) {
    DeleteDialEntry(EntryName(count / 2));
    state.PauseTiming();
    ReplaceFileContents(f.path(), original);
    state.ResumeTiming();
  }
}

#define ENTRY_SIZES ->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_PlainReadWrite) ENTRY_SIZES;
BENCHMARK(BM_ListEntryNames) ENTRY_SIZES;
BENCHMARK(BM_ReadLastEntry) ENTRY_SIZES;
BENCHMARK(BM_AppendDialEntry) ENTRY_SIZES;
BENCHMARK(BM_ReplaceDialEntry) ENTRY_SIZES;
BENCHMARK(BM_RenameDialEntry) ENTRY_SIZES;
BENCHMARK(BM_DeleteDialEntry) ENTRY_SIZES;

}  // namespace

BENCHMARK_MAIN();
