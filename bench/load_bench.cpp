// The plug-in under load: an entry file of 10,000 entries, 2,000 daily log
// files, a phone book of 500 entries and 300 active connections. Every menu
// opens and every action completes through the fake host; the benchmark
// reports each one's time and the plug-in's peak heap growth during it.
//
// Goals: the main menu open in under 50 ms at 10,000 entries; the peak heap
// growth of any action under 16 MiB.
//
// Peak memory is measured with a counting operator new/delete for the whole
// program (the plug-in's code is linked in statically, so every allocation it
// makes is counted): before each action the peak is set to the bytes in use,
// and the counter `peak_heap_MiB` is the highest growth above that level seen
// during the action. Memory the stand-in allocates on the plug-in's behalf
// (the registry and INI files it reads) is included; the fake host's record
// of calls is too, which makes the figure an upper bound.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "entries/entry_file.h"
#include "shell/host_calls.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "tests/fake_host.h"
#include "winapi/ras_sim.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

// ---- Counting allocator --------------------------------------------------------------

namespace {

std::atomic<long long> g_in_use{0};
std::atomic<long long> g_peak{0};

void* Counted(std::size_t n) {
  // The size is kept before the block so that delete knows what it frees.
  void* p = std::malloc(n + 16);
  if (p == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(p) = n;
  const long long now = g_in_use.fetch_add(static_cast<long long>(n)) + static_cast<long long>(n);
  long long peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(p) + 16;
}

void Uncounted(void* p) {
  if (p == nullptr) return;
  void* block = static_cast<char*>(p) - 16;
  g_in_use.fetch_sub(static_cast<long long>(*static_cast<std::size_t*>(block)));
  std::free(block);
}

}  // namespace

void* operator new(std::size_t n) { return Counted(n); }
void* operator new[](std::size_t n) { return Counted(n); }
void operator delete(void* p) noexcept { Uncounted(p); }
void operator delete[](void* p) noexcept { Uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { Uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { Uncounted(p); }

namespace {

constexpr int kEntries = 10000;
constexpr int kLogFiles = 2000;
constexpr int kPhonebookEntries = 500;
constexpr int kConnections = 300;

std::filesystem::path g_root;
std::string g_connections;

void RemoveRoot() {
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
}

void Write(const std::filesystem::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

void SetUpWorld() {
  if (!g_root.empty()) return;
  g_root = std::filesystem::temp_directory_path() / ("vez_load_bench_" + std::to_string(::getpid()));
  std::atexit(RemoveRoot);
  const auto world_dir = g_root / "world";
  const auto plugin = g_root / "plugin";
  std::filesystem::create_directories(world_dir);
  std::filesystem::create_directories(plugin);

  std::vector<std::string> lines;
  lines.reserve(kEntries * 8);
  for (int i = 0; i < kEntries; ++i) {
    lines.push_back("[Entry " + std::to_string(i) + "]");
    lines.push_back("Login=user" + std::to_string(i));
    lines.push_back("Password=secret" + std::to_string(i));
    lines.push_back("Domain=OFFICE");
    lines.push_back("Numbers=" + std::to_string(1000000 + i) + "," + std::to_string(2000000 + i));
    lines.push_back("Interval=0");
    lines.push_back("Tries=1");
    lines.push_back("Callback=");
  }
  Write(plugin / "vezuzaziz.ini", FileTextFromPlainLines(lines));
  // 2,000 days of logs, the last of them today's file.
  for (int d = 0; d < kLogFiles; ++d) {
    const int year = 2021 + d / 360, month = 1 + (d / 30) % 12, day = 1 + d % 30;
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.log", year, month, day);
    Write(plugin / name, "01/01  10:00:00  Dialling 1000000\r\n");
  }
  std::string pbk;
  for (int i = 0; i < kPhonebookEntries; ++i) pbk += "[Book " + std::to_string(i) + "]\nPhoneNumber=t" + std::to_string(3000000 + i) + "\n";
  Write(world_dir / "rasphone.pbk", pbk);
  g_connections = "[counter]\nnext=" + std::to_string(kConnections + 2) + "\n";
  for (int i = 0; i < kConnections; ++i) {
    g_connections += "[" + std::to_string(i + 2) + "]\nentry=.p" + std::to_string(4000000 + i) + "\nnumber=p" +
                     std::to_string(4000000 + i) + "\nlocal_ip=10.0.0.2\nremote_ip=10.0.0.1\nspeed=28800\n";
  }
  Write(world_dir / "connections.ini", g_connections);
  Write(world_dir / "system.ini", "[system]\nplatform_id=2\nnow=2026-03-01 09:05:03\n");
  Write(world_dir / "services.ini", "[RASMAN]\nstate=running\n[SIMPTCP]\nstate=running\n[TAPISRV]\nstate=running\n");
  Write(world_dir / "ras.ini", "[*]\nstates=0,1,2\nend=connected\nspeed=28800\n");
  Write(world_dir / "registry.reg",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kel\\Plugins\\VezUzaziz]\n\"daily_log\"=dword:00000001\n"
        "\"minspeed\"=dword:00000000\n\n");
  setenv("WINAPI_WORLD", world_dir.c_str(), 1);
  StandinReloadWorld();
}

FakeHost& FreshHost() {
  FakeHost& host = FakeHost::Install(world::WindowsPath((g_root / "plugin" / "vezuzaziz.dll").string()));
  return host;
}

// Runs `action` once per iteration with the answers `queue` gives the host,
// and reports the peak heap growth seen in any iteration.
template <class Queue, class Run>
void Measure(benchmark::State& state, Queue queue, Run run, bool restore_connections = false) {
  SetUpWorld();
  long long worst = 0;
  bool sound = true;
  for (auto _ : state) {
    state.PauseTiming();
    if (restore_connections) {
      Write(g_root / "world" / "connections.ini", g_connections);
      StandinReloadWorld();
    }
    FakeHost& host = FreshHost();
    queue(host);
    const long long base = g_in_use.load();
    g_peak = base;
    state.ResumeTiming();
    run();
    state.PauseTiming();
    worst = std::max(worst, g_peak.load() - base);
    sound = sound && host.open_screens == 0 && host.wrong_thread_calls == 0 && !host.exhausted &&
            host.menu_answers.empty() && host.dialog_answers.empty() && host.message_answers.empty();
    state.ResumeTiming();
  }
  if (!sound) state.SkipWithError("the action did not complete soundly");
  state.counters["peak_heap_MiB"] = static_cast<double>(worst) / (1024.0 * 1024.0);
}

// OpenPlugin from the plug-in menu up to the main menu on the screen (the
// menu is answered with Esc): start-up, settings, services, entry list.
void BM_OpenMainMenu(benchmark::State& state) {
  Measure(state, [](FakeHost& h) { h.QueueMenu(-1); }, [] { RunOpenPlugin(0, nullptr); });
}
BENCHMARK(BM_OpenMainMenu)->Unit(benchmark::kMillisecond)->Iterations(10);

// Dials the last of the 10,000 entries from the command line.
void BM_DialLastEntry(benchmark::State& state) {
  const std::string name = "Entry " + std::to_string(kEntries - 1);
  Measure(state, [](FakeHost& h) { h.QueueMessage(0); },
          [&] { RunOpenPlugin(OPEN_COMMANDLINE, name.c_str()); RasSimStopAll(); }, true);
}
BENCHMARK(BM_DialLastEntry)->Unit(benchmark::kMillisecond)->Iterations(5);

// F4 on the last entry, changing its numbers: a whole-file rewrite.
void BM_EditLastEntry(benchmark::State& state) {
  Measure(state,
          [](FakeHost& h) {
            h.QueueMenu(kEntries - 1, 0);
            h.QueueDialog(16, {{9, "5550000,5550001"}});
            h.QueueMenu(-1);
          },
          [] { RunOpenPlugin(0, nullptr); });
}
BENCHMARK(BM_EditLastEntry)->Unit(benchmark::kMillisecond)->Iterations(5);

// Hangs up all 300 connections (restored before every iteration).
void BM_HangUpAll(benchmark::State& state) {
  Measure(state, [](FakeHost&) {}, [] { RunOpenPlugin(OPEN_COMMANDLINE, "hangup"); }, true);
}
BENCHMARK(BM_HangUpAll)->Unit(benchmark::kMillisecond)->Iterations(3);

// The menu of the 2,000 log files, the last one opened in the viewer.
void BM_LogFileMenu(benchmark::State& state) {
  Measure(state,
          [](FakeHost& h) {
            h.QueueMenu(kEntries + 6);
            h.QueueMenu(kLogFiles - 1);
          },
          [] { RunOpenPlugin(0, nullptr); });
}
BENCHMARK(BM_LogFileMenu)->Unit(benchmark::kMillisecond)->Iterations(5);

// The phone-book menu of 500 entries; the last one dialled (its number
// answers as the dial of an entry does).
void BM_PhonebookMenu(benchmark::State& state) {
  Measure(state,
          [](FakeHost& h) {
            h.QueueMenu(kEntries + 3);
            h.QueueMenu(kPhonebookEntries - 1);
          },
          [] { RunOpenPlugin(0, nullptr); }, true);
}
BENCHMARK(BM_PhonebookMenu)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
