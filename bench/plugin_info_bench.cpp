// GetPluginInfo's work (the settings re-read from the stand-in's registry,
// then the record filled) as the host calls it whenever it builds its menus.
// Goal: a median of 20 us or less.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "shell/host_calls.h"
#include "shell/host_interface.h"
#include "shell/plugin_state.h"
#include "shell/startup.h"
#include "tests/fake_host.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace {

std::filesystem::path g_root;

void RemoveRoot() {
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
}

// A world whose registry holds all ten settings, as after a configuration.
void SetUpWorld() {
  g_root = std::filesystem::temp_directory_path() / ("vez_info_bench_" + std::to_string(::getpid()));
  std::atexit(RemoveRoot);
  std::filesystem::create_directories(g_root / "world");
  std::filesystem::create_directories(g_root / "plugin");
  std::ofstream(g_root / "world" / "registry.reg")
      << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kel\\Plugins\\VezUzaziz]\n"
         "\"dial_prefix\"=dword:00000001\n\"show_progress\"=dword:00000001\n\"show_disk\"=dword:00000001\n"
         "\"daily_log\"=dword:00000001\n\"i629\"=dword:00000001\n\"debug\"=dword:00000000\n"
         "\"logfilename\"=\"vezuzaziz.log\"\n\"startupfile\"=\"startup.lst\"\n\"phonebook\"=\"\"\n"
         "\"minspeed\"=dword:00000000\n\n";
  setenv("WINAPI_WORLD", (g_root / "world").c_str(), 1);
  StandinReloadWorld();
  FakeHost::Install(world::WindowsPath((g_root / "plugin" / "vezuzaziz.dll").string()));
}

void BM_GetPluginInfo(benchmark::State& state) {
  if (g_root.empty()) SetUpWorld();
  PluginInfo info{};
  for (auto _ : state) {
    FillPluginInfo(&info);
    benchmark::DoNotOptimize(info);
  }
  if (info.StructSize != static_cast<int>(sizeof(PluginInfo))) state.SkipWithError("record not filled");
}
BENCHMARK(BM_GetPluginInfo)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
