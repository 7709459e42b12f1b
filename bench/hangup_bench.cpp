// Hanging up every connection from the command line ("hangup") with 100 and
// with 1,000 connections made. Each hang-up rewrites the world's list of
// connections; the process keeps the list (and its text) it last wrote, so
// only the bytes written grow with the count. The goal is that 1,000 cost at
// most about 12 times what 100 cost (the fixed part of each hang-up, the log
// line and the journal, outweighing the list).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

void Write(const std::filesystem::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string Connections(int count) {
  std::string text = "[counter]\nnext=" + std::to_string(count + 2) + "\n";
  for (int i = 0; i < count; ++i) {
    text += "[" + std::to_string(i + 2) + "]\nentry=.p" + std::to_string(4000000 + i) + "\nnumber=p" +
            std::to_string(4000000 + i) + "\nlocal_ip=10.0.0.2\nremote_ip=10.0.0.1\nspeed=28800\n";
  }
  return text;
}

void SetUpWorld() {
  if (!g_root.empty()) return;
  g_root = std::filesystem::temp_directory_path() / ("vez_hangup_bench_" + std::to_string(::getpid()));
  std::atexit(RemoveRoot);
  std::filesystem::create_directories(g_root / "world");
  std::filesystem::create_directories(g_root / "plugin");
  Write(g_root / "plugin" / "vezuzaziz.ini", "");
  Write(g_root / "world" / "system.ini", "[system]\nplatform_id=2\nnow=2026-03-01 09:05:03\n");
  Write(g_root / "world" / "services.ini",
        "[RASMAN]\nstate=running\n[SIMPTCP]\nstate=running\n[TAPISRV]\nstate=running\n");
  Write(g_root / "world" / "registry.reg",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kel\\Plugins\\VezUzaziz]\n\"daily_log\"=dword:00000000\n\n");
  setenv("WINAPI_WORLD", (g_root / "world").c_str(), 1);
}

void BM_HangUpConnections(benchmark::State& state) {
  SetUpWorld();
  const std::string connections = Connections(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    Write(g_root / "world" / "connections.ini", connections);
    Write(g_root / "world" / "journal.log", "");
    StandinReloadWorld();
    FakeHost::Install(world::WindowsPath((g_root / "plugin" / "vezuzaziz.dll").string()));
    state.ResumeTiming();
    RunOpenPlugin(OPEN_COMMANDLINE, "hangup");
  }
  std::ifstream left(g_root / "world" / "connections.ini");
  std::string text((std::istreambuf_iterator<char>(left)), std::istreambuf_iterator<char>());
  if (text.find("number=") != std::string::npos) state.SkipWithError("connections were left");
}
BENCHMARK(BM_HangUpConnections)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
