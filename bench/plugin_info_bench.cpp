// GetPluginInfo's work (the settings re-read from the stand-in's registry,
// then the record filled), as the host calls it whenever it builds its
// menus. Goal: at most 20 us median, both when registry.reg is as the last
// call left it and when it has changed since (another process wrote a
// setting: the stand-in reads the file again).
//
// A repetition is the median CPU time of 200 calls; in the changed case the
// file is rewritten before every call, outside the measurement. The
// baseline is a plain read of registry.reg (open, read, close), the least a
// call that finds the file changed has to do.
//
// Usage: plugin_info_bench [--repetitions N]
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_report.h"
#include "shell/host_interface.h"
#include "shell/startup.h"
#include "tests/fake_host.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCalls = 200;

// The registry with all ten settings, as after a configuration; `debug`
// alternates so that every rewrite changes the file.
std::string RegistryText(bool debug) {
  return std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kel\\Plugins\\VezUzaziz]\n"
                     "\"dial_prefix\"=dword:00000001\n\"show_progress\"=dword:00000001\n\"show_disk\"=dword:00000001\n"
                     "\"daily_log\"=dword:00000001\n\"i629\"=dword:00000001\n\"debug\"=dword:0000000") +
         (debug ? "1" : "0") +
         "\n\"logfilename\"=\"vezuzaziz.log\"\n\"startupfile\"=\"startup.lst\"\n\"phonebook\"=\"\"\n"
         "\"minspeed\"=dword:00000000\n\n";
}

// Rewrites the file the way another process's save does: a new file renamed
// over the old one.
void RewriteRegistry(const fs::path& world, bool debug) {
  const fs::path temporary = world / "registry.reg.bench";
  std::ofstream(temporary, std::ios::binary) << RegistryText(debug);
  fs::rename(temporary, world / "registry.reg");
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = bench::Repetitions(argc, argv);
  bench::Report report;
  char templ[] = "/tmp/vez_info_bench_XXXXXX";
  if (mkdtemp(templ) == nullptr) return 2;
  const fs::path root = templ;
  const fs::path world = root / "world";
  fs::create_directories(world);
  fs::create_directories(root / "plugin");
  RewriteRegistry(world, false);
  setenv("WINAPI_WORLD", world.c_str(), 1);
  StandinReloadWorld();
  FakeHost::Install(world::WindowsPath((root / "plugin" / "vezuzaziz.dll").string()));

  bool sound = true;
  PluginInfo info{};
  auto call = [&] {
    info = PluginInfo{};
    FillPluginInfo(&info);
    sound = sound && info.StructSize == static_cast<int>(sizeof(PluginInfo)) && info.DiskMenuStringsNumber == 1;
  };
  const std::string registry_path = (world / "registry.reg").string();
  std::vector<double> plain, unchanged, changed;
  bool debug = false;
  // The median of one repetition's calls, in microseconds.
  auto median_of = [](std::vector<double> us) { return bench::Summarise(std::move(us)).median; };
  for (int r = 0; r < repetitions; ++r) {
    std::vector<double> calls;
    for (int i = 0; i < kCalls; ++i) {
      const double t0 = bench::ThreadCpuMs();
      const int fd = open(registry_path.c_str(), O_RDONLY);
      char buffer[4096];
      while (fd >= 0 && read(fd, buffer, sizeof buffer) > 0) {
      }
      if (fd >= 0) close(fd);
      calls.push_back((bench::ThreadCpuMs() - t0) * 1000);
    }
    plain.push_back(median_of(std::move(calls)));

    call();  // the file as it is now, read once
    calls.clear();
    for (int i = 0; i < kCalls; ++i) {
      const double t0 = bench::ThreadCpuMs();
      call();
      calls.push_back((bench::ThreadCpuMs() - t0) * 1000);
    }
    unchanged.push_back(median_of(std::move(calls)));

    calls.clear();
    for (int i = 0; i < kCalls; ++i) {
      debug = !debug;
      RewriteRegistry(world, debug);
      const double t0 = bench::ThreadCpuMs();
      call();
      calls.push_back((bench::ThreadCpuMs() - t0) * 1000);
    }
    changed.push_back(median_of(std::move(calls)));
    FakeHost::Get().calls.clear();  // the fake host's record of calls grows with each
  }
  if (!sound) report.Fault("GetPluginInfo did not fill the record");

  report.Baseline("plain read of registry.reg", "CPU us", bench::Summarise(plain));
  report.AtMost("GetPluginInfo, registry unchanged", "CPU us", bench::Summarise(unchanged), 20);
  report.AtMost("GetPluginInfo, registry.reg changed", "CPU us", bench::Summarise(changed), 20);
  std::error_code ec;
  fs::remove_all(root, ec);
  return report.ExitStatus();
}
