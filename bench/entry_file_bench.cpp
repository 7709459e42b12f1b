// The entry file's operations at 1,000 and 50,000 entries. Goal: every
// operation linear in the entries, its CPU time per entry at 50,000 at most
// 1.3 times its CPU time per entry at 1,000. The process's resident peak
// after each size is reported beside.
//
// CPU time is the thread's (bench_report.h). A repetition of an operation
// is the mean of a few calls (50,000 / entries, at least 1); the operations
// take turns call by call, and a changed file is put back (and flushed)
// between calls, outside the measurement.
//
// Usage: entry_file_bench [--repetitions N]
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_report.h"
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

DialEntry NewEntry(const std::string& name) {
  return DialEntry{name, "newlogin", "newpassword", "DOMAIN", "5550100,5550101", "30", "3", "5550199"};
}

// One world and plug-in directory for the whole run.
class World {
 public:
  World() {
    root_ = std::filesystem::temp_directory_path() / ("vez_entry_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(root_ / "world");
    std::filesystem::create_directories(root_ / "plugin");
    setenv("WINAPI_WORLD", (root_ / "world").c_str(), 1);
    StandinReloadWorld();
    const std::string module = world::WindowsPath((root_ / "plugin" / "vezuzaziz.dll").string());
    module.copy(info_.ModulePath, sizeof info_.ModulePath - 1);
    SetHostRecord(&info_);
    SetModulePathFromField(info_.ModulePath);
    native_path_ = (root_ / "plugin" / kEntryFileName).string();
  }
  ~World() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // Puts the bytes back without going through the code under measurement,
  // flushed: a write left to the system would be written out during the
  // next step and slow its flush, which the baseline's would not be.
  void Restore(const std::string& text) const {
    const int fd = ::open(native_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    for (size_t done = 0; done < text.size();) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n <= 0) std::abort();
      done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) std::abort();
    ::close(fd);
  }

 private:
  std::filesystem::path root_;
  std::string native_path_;
  HostStartupInfo info_{};
};

// What one size gives: per call, the CPU ms of each operation, and the
// process's resident peak once they ran.
struct SizeFigures {
  std::map<std::string, bench::Figures> cpu;
  double resident_mib = 0;
};

double ResidentPeakMib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB
}

const char* const kOperations[] = {"ReadDialEntry (last)", "ListEntryNames", "AppendDialEntry", "ReplaceDialEntry",
                                   "RenameDialEntry", "DeleteDialEntry"};

SizeFigures MeasureSize(const World& world, int count, int repetitions, bench::Report& report) {
  const std::string text = EntryFileText(count);
  world.Restore(text);
  const std::string path = EntryFilePath();
  const std::string last = EntryName(count - 1);
  const std::string middle = EntryName(count / 2);
  bool sound = true;
  auto expect = [&](bool ok) { sound = sound && ok; };

  struct Step {
    std::string name;
    std::function<void()> run;
    bool changes;  // the file is put back after each call
  };
  const std::vector<Step> steps = {
      {kOperations[0], [&] { expect(ReadDialEntry(last)); }, false},
      {kOperations[1], [&] { expect(!ListEntryNames().empty()); }, false},
      {kOperations[2], [&] { AppendDialEntry(NewEntry("Added")); }, true},
      {kOperations[3], [&] { expect(ReplaceDialEntry(NewEntry(middle)) == 1); }, true},
      {kOperations[4], [&] { expect(RenameDialEntry(middle, NewEntry("Renamed")) == 1); }, true},
      {kOperations[5], [&] { expect(DeleteDialEntry(middle) == 1); }, true},
  };
  const int calls = std::max(1, 50000 / count);
  // The steps take turns call by call, so that a change of the machine's
  // load meets all operations alike.
  std::map<std::string, std::vector<double>> cpu;
  for (int r = 0; r < repetitions; ++r) {
    std::map<std::string, double> cpu_total;
    for (int c = 0; c < calls; ++c) {
      for (const Step& step : steps) {
        const double t0 = bench::ThreadCpuMs();
        step.run();
        cpu_total[step.name] += bench::ThreadCpuMs() - t0;
        if (step.changes) world.Restore(text);
      }
    }
    for (const Step& step : steps) cpu[step.name].push_back(cpu_total[step.name] / calls);
  }
  // The file the changes left behind is the one they started from, and the
  // list holds every entry once.
  const std::string names = ListEntryNames();
  expect(static_cast<int>(std::count(names.begin(), names.end(), ',')) == count - 1);
  expect(ReadWholeFile(path) == text);
  if (!sound) report.Fault("an operation at " + std::to_string(count) + " entries did not do what it should");

  SizeFigures out;
  for (const auto& [name, samples] : cpu) out.cpu[name] = bench::Summarise(samples);
  out.resident_mib = ResidentPeakMib();
  return out;
}

std::string Entries(int count) {
  const std::string digits = std::to_string(count);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
    grouped.push_back(digits[i]);
  }
  return grouped + " entries";
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = bench::Repetitions(argc, argv);
  bench::Report report;
  std::map<int, SizeFigures> sizes;
  {
    World world;
    for (int count : {1000, 50000}) sizes[count] = MeasureSize(world, count, repetitions, report);
  }
  for (const char* op : kOperations) {
    const bench::Figures small = bench::Scaled(sizes[1000].cpu.at(op), 1000 / 1000.0);
    const bench::Figures large = bench::Scaled(sizes[50000].cpu.at(op), 50000 / 1000.0);
    report.Baseline(std::string(op) + ", " + Entries(1000), "us/entry", small);
    report.AtMostTimes(std::string(op) + ", " + Entries(50000), "us/entry", large, "at 1,000", small, 1.3);
  }
  for (int count : {1000, 50000}) {
    const double mib = sizes[count].resident_mib;
    report.Info("resident peak after " + Entries(count), "MiB", bench::Figures{mib, mib, mib});
  }
  return report.ExitStatus();
}
