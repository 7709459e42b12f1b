// What the dial's wait for an outcome costs and how quickly it reacts, each
// figure beside the same figure of the plain busy poll measured in the same
// run (check the outcome, dispatch one window message, peek for Esc, again).
//
// The dials run in a child process whose standard input is a
// pseudo-terminal, its controlling terminal, as when the host runs in a
// terminal; this process is the user at the keyboard: it writes each Esc
// into that terminal from outside. Goals:
//   - wake-ups of the whole child (context switches of all its threads) per
//     second over a 5 s DialProcedure with a silent service, ended by Esc:
//     at most 2 in every dial;
//   - CPU of the whole child over the same dials: at most 0.1% of one core;
//   - Esc: from the byte written to the terminal to the wait returning
//     "interrupted", 99th percentile: at most the machine's own floor for
//     it plus 1 ms;
//   - outcome: from the notifier's "connected" (on a service thread) to the
//     wait returning it, 99th percentile: at most the machine's own floor
//     for it plus 1 ms.
// The floors are measured in the same run: the same Esc byte seen by a bare
// poll(2) of the terminal, and one thread waking another through an event.
// On a loaded machine both tails come from the scheduler, which the floors
// meet as well.
// Every Esc leaves its key-up in the console input, as a key-up does, so
// every dial after the first starts with input that is not an Esc waiting:
// the wait must neither spin on it nor lose it.
//
// Usage: dial_wait_bench [--dials N] [--latency-dials N] [--baseline-ms N]
// (defaults 3, 500 and 1000: the busy poll burns a core, so its dials are
// shorter; its figures are rates). Prints goal, min/median/max and the
// ratio to the busy poll per goal; exits 1 when a goal is missed, 2 when
// the run could not be made. Ours and the busy poll each start with a short
// warm-up dial that is not counted.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dial/dial_procedure.h"
#include "dial/dial_progress.h"
#include "entries/entry_file.h"
#include "shell/settings.h"
#include "tests/fake_host.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC: one clock for both processes

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// ---- The child: the plug-in in the host's process ----------------------------

struct Usage {
  double cpu_seconds = 0;
  long switches = 0;
};

Usage ProcessUsage() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return Usage{static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                   static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6,
               u.ru_nvcsw + u.ru_nivcsw};
}

// The wait as a plain busy poll: the baseline.
DialOutcomeKind BusyWaitForDialOutcome() {
  MSG msg{};
  for (;;) {
    const DialOutcomeState seen = CurrentDialOutcome();
    if (seen.kind != DialOutcomeKind::None) {
      ShowPendingDialStates();
      return seen.kind;
    }
    PumpMessage(msg);
    if (ConsoleKeyPressed(VK_ESCAPE)) {
      ForceDialInterrupted();
      return DialOutcomeKind::Interrupted;
    }
  }
}

void Report(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// One dial ended by the parent's Esc after `ms`, measured whole. Ours is the
// real DialProcedure; the baseline dials the same silent number and busy-polls.
// A warm-up dial reports as "warm" and is not counted.
void CpuDial(bool baseline, int ms, bool warm_up = false) {
  MSG drained{};
  while (PumpMessage(drained)) {
  }
  const Usage u0 = ProcessUsage();
  const long long t0 = NowNs();
  Report("ready " + std::to_string(ms));
  std::string outcome;
  if (baseline) {
    RASDIALEXTENSIONS ext{};
    ext.dwSize = sizeof ext;
    RASDIALPARAMSA params{};
    params.dwSize = sizeof params;
    std::strcpy(params.szPhoneNumber, "p999");
    HRASCONN connection = nullptr;
    ResetDialOutcome();
    RasDialA(&ext, nullptr, &params, 1, reinterpret_cast<LPVOID>(&DialProgressCallback1), &connection);
    outcome = DialOutcomeText(BusyWaitForDialOutcome());
    RasHangUpA(connection);
  } else {
    FakeHost::Get().calls.clear();
    DialProcedure("Silent");
    const std::vector<HostCall> boxes = FakeHost::Get().Calls("Message");
    outcome = !boxes.empty() && boxes.back().items.size() == 3 ? "interrupted" : "?";
  }
  const long long t1 = NowNs();
  const Usage u1 = ProcessUsage();
  char line[160];
  std::snprintf(line, sizeof line, "%s cpu %.6f %.6f %ld %s",
                warm_up    ? "warm"
                : baseline ? "busy"
                           : "ours",
                static_cast<double>(t1 - t0) / 1e9, u1.cpu_seconds - u0.cpu_seconds, u1.switches - u0.switches,
                outcome.c_str());
  Report(line);
}

// One wait ended by the parent's Esc; reports when the wait returned.
void EscDial(bool baseline) {
  ResetDialOutcome();
  Report("ready esc");
  const std::string outcome =
      baseline ? DialOutcomeText(BusyWaitForDialOutcome()) : DialOutcomeText(WaitForDialOutcome());
  const long long returned = NowNs();
  Report(std::string(baseline ? "busy" : "ours") + " esc " + std::to_string(returned) + " " + outcome);
}

// One wait ended by a service thread's "connected" after a few ms.
void OutcomeDial(bool baseline, std::mt19937& random) {
  ResetDialOutcome();
  std::uniform_int_distribution<int> delay_us(2000, 12000);
  const int delay = delay_us(random);
  long long reported = 0;
  std::thread service([&] {
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
    reported = NowNs();
    DialProgressCallback(0, RASCS_Connected, 0);
  });
  const std::string outcome =
      baseline ? DialOutcomeText(BusyWaitForDialOutcome()) : DialOutcomeText(WaitForDialOutcome());
  const long long returned = NowNs();
  service.join();
  Report(std::string(baseline ? "busy" : "ours") + " outcome " + std::to_string(returned - reported) + " " + outcome);
}

// The floor under both latencies, for reading them on a busy machine: the
// same Esc byte seen by a bare poll(2) of the terminal, and one thread
// waking another through an event, with nothing of the dial in between.
void FloorDials(std::mt19937& random) {
  Report("ready esc");
  struct pollfd terminal {
    0, POLLIN, 0
  };
  poll(&terminal, 1, -1);
  const long long seen = NowNs();
  char byte = 0;
  const bool read_one = read(0, &byte, 1) == 1;
  Report("floor esc " + std::to_string(seen) + (read_one && byte == 0x1b ? " interrupted" : " ?"));

  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::uniform_int_distribution<int> delay_us(2000, 12000);
  const int delay = delay_us(random);
  long long set = 0;
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
    set = NowNs();
    SetEvent(event);
  });
  const bool woke = WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0;
  const long long returned = NowNs();
  setter.join();
  CloseHandle(event);
  Report("floor outcome " + std::to_string(returned - set) + (woke ? " connected" : " ?"));
}

int ChildMain(const std::string& root, int dials, int latency_dials, int baseline_ms) {
  alarm(900);  // never outlives a parent that stopped answering
  const std::string plugin_dir = root + "/plugin";
  setenv("WINAPI_WORLD", (root + "/world").c_str(), 1);
  StandinReloadWorld();
  FakeHost::Install(world::WindowsPath(plugin_dir + "/vezuzaziz.dll"));
  Settings() = PluginSettings{};
  Settings().dial_prefix = "p";
  Settings().show_progress = true;
  Settings().logfilename = "vezuzaziz.log";
  AppendDialEntry(DialEntry{"Silent", "alice", "secret", "", "999", "0", "1", ""});

  std::mt19937 random(4711);
  for (bool baseline : {false, true}) {
    // The first dial of a process also reads the world and the entry file,
    // makes the log and brings the code in: a cost of its start, not of a dial.
    CpuDial(baseline, 200, true);
    for (int i = 0; i < dials; ++i) CpuDial(baseline, baseline ? baseline_ms : 5000);
    for (int i = 0; i < latency_dials; ++i) {
      EscDial(baseline);
      OutcomeDial(baseline, random);
    }
  }
  for (int i = 0; i < latency_dials; ++i) FloorDials(random);
  Report("done");
  return 0;
}

// ---- The parent: the user at the terminal, and the figures --------------------

struct Series {
  std::vector<double> values;
  double Min() const { return *std::min_element(values.begin(), values.end()); }
  double Max() const { return *std::max_element(values.begin(), values.end()); }
  double Median() const {
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  double P99() const {
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    const size_t rank = (v.size() * 99 + 99) / 100;  // nearest rank
    return v[std::max<size_t>(rank, 1) - 1];
  }
};

struct Figures {
  Series wakeups_per_s, cpu_percent, esc_ms, outcome_ms;
  bool outcomes_right = true;
};

// Runs the child on a new pseudo-terminal and answers its "ready" lines.
bool RunChild(const std::string& self, const std::string& root, int dials, int latency_dials, int baseline_ms,
              Figures* ours, Figures* base, Figures* floor) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
  const std::string slave = ptsname(master);
  int out[2];
  if (pipe(out) != 0) return false;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    // A session of its own whose controlling terminal is the slave, so the
    // child is the terminal's foreground process group, as a host is.
    setsid();
    const int fd = open(slave.c_str(), O_RDWR);
    if (fd < 0) _exit(2);
    ioctl(fd, TIOCSCTTY, 0);
    dup2(fd, 0);
    dup2(out[1], 1);
    close(fd);
    close(out[0]);
    close(out[1]);
    close(master);
    const std::string a = std::to_string(dials), b = std::to_string(latency_dials), c = std::to_string(baseline_ms);
    execl(self.c_str(), self.c_str(), "--child", root.c_str(), a.c_str(), b.c_str(), c.c_str(),
          static_cast<char*>(nullptr));
    _exit(2);
  }
  close(out[1]);
  std::FILE* lines = fdopen(out[0], "r");
  // The terminal echoes what it is given while it is in line mode; that
  // output is read away so the terminal never fills up.
  fcntl(master, F_SETFL, O_NONBLOCK);
  auto drain = [master] {
    char buf[256];
    while (read(master, buf, sizeof buf) > 0) {
    }
  };
  std::mt19937 random(815);
  std::uniform_int_distribution<int> esc_delay_us(2000, 12000);
  const int expected = 2 * (dials + 2 * latency_dials) + 2 * latency_dials;
  int results = 0;
  long long esc_written = 0;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, lines) != nullptr) {
    const std::string line(buffer, std::strcspn(buffer, "\n"));
    if (line == "done") break;
    if (line.rfind("ready ", 0) == 0) {
      const std::string what = line.substr(6);
      if (what == "esc") {
        std::this_thread::sleep_for(std::chrono::microseconds(esc_delay_us(random)));
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(what.c_str())));
      }
      drain();
      esc_written = NowNs();
      if (write(master, "\x1b", 1) != 1) break;
      continue;
    }
    // "PHASE KIND FIGURES... OUTCOME", PHASE one of ours, busy, floor, warm.
    char phase[16] = "", kind[16] = "", outcome[32] = "";
    double a = 0, b = 0;
    long c = 0;
    const int fields = std::sscanf(line.c_str(), "%15s %15s", phase, kind);
    if (fields != 2 || std::strcmp(phase, "warm") == 0) continue;
    Figures& f = std::strcmp(phase, "ours") == 0 ? *ours : std::strcmp(phase, "busy") == 0 ? *base : *floor;
    const char* rest = line.c_str() + std::strlen(phase) + std::strlen(kind) + 2;
    bool right = false;
    if (std::strcmp(kind, "cpu") == 0 && std::sscanf(rest, "%lf %lf %ld %31s", &a, &b, &c, outcome) == 4) {
      f.wakeups_per_s.values.push_back(static_cast<double>(c) / a);
      f.cpu_percent.values.push_back(100.0 * b / a);
      right = std::strcmp(outcome, "interrupted") == 0;
    } else if (std::strcmp(kind, "esc") == 0 && std::sscanf(rest, "%ld %31s", &c, outcome) == 2) {
      f.esc_ms.values.push_back(static_cast<double>(c - esc_written) / 1e6);
      right = std::strcmp(outcome, "interrupted") == 0;
    } else if (std::strcmp(kind, "outcome") == 0 && std::sscanf(rest, "%ld %31s", &c, outcome) == 2) {
      f.outcome_ms.values.push_back(static_cast<double>(c) / 1e6);
      right = std::strcmp(outcome, "connected") == 0;
    } else {
      continue;
    }
    f.outcomes_right = f.outcomes_right && right;
    ++results;
  }
  std::fclose(lines);
  // The terminal stays open until the child has ended: closing it first
  // would hang the child up (SIGHUP) on its way out.
  int status = 0;
  waitpid(child, &status, 0);
  close(master);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && results == expected) return true;
  std::fprintf(stderr, "the child ended with status %d after %d of %d dials\n", status, results, expected);
  return false;
}

// Prints one goal; returns whether it was met. `checked` is the figure held
// against the goal (the worst dial, or the p99); `floor`, when given, is the
// same figure with nothing of the dial in between.
bool PrintGoal(const char* what, const char* unit, double goal, const char* checked_name, const Series& ours,
               double checked, const Series& base, double base_checked, const Series* floor = nullptr) {
  const bool met = checked <= goal;
  std::printf("%-6s %s: goal <= %g %s\n", met ? "[met]" : "[MISS]", what, goal, unit);
  std::printf("       measured  %s %.4g   min %.4g  median %.4g  max %.4g   (%zu dials)\n", checked_name, checked,
              ours.Min(), ours.Median(), ours.Max(), ours.values.size());
  std::printf("       busy poll %s %.4g   min %.4g  median %.4g  max %.4g   (%zu dials)\n", checked_name, base_checked,
              base.Min(), base.Median(), base.Max(), base.values.size());
  if (base_checked > 0) {
    std::printf("       ratio     %.4g (measured / busy poll, %s)\n", checked / base_checked, checked_name);
  } else {
    std::printf("       ratio     - (the busy poll's figure is 0)\n");
  }
  if (floor != nullptr) {
    std::printf("       floor     %s %.4g   min %.4g  median %.4g  max %.4g   (the machine's own wake-up)\n",
                checked_name, floor->P99(), floor->Min(), floor->Median(), floor->Max());
  }
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--child") == 0) {
    return ChildMain(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
  }
  int dials = 3;
  int latency_dials = 500;
  int baseline_ms = 1000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--dials") == 0 && i + 1 < argc) {
      dials = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--latency-dials") == 0 && i + 1 < argc) {
      latency_dials = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--baseline-ms") == 0 && i + 1 < argc) {
      baseline_ms = std::max(100, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: %s [--dials N] [--latency-dials N] [--baseline-ms N]\n", argv[0]);
      return 2;
    }
  }

  char tmpl[] = "/tmp/vez_dial_bench_XXXXXX";
  const char* made = mkdtemp(tmpl);
  if (made == nullptr) return 2;
  const std::string root = made;
  std::filesystem::create_directories(root + "/world");
  std::filesystem::create_directories(root + "/plugin");
  std::ofstream(root + "/world/ras.ini") << "[p999]\nsilent=1\n";
  std::ofstream(root + "/world/system.ini") << "[system]\nplatform_id=2\n";
  std::ofstream(root + "/plugin/vezuzaziz.ini");

  std::printf("dial wait: %d dials of 5 s and %d + %d latency dials, then the busy poll (dials of %d ms) ...\n", dials,
              latency_dials, latency_dials, baseline_ms);
  std::fflush(stdout);
  Figures ours, base, floor;
  const bool ran = RunChild(std::filesystem::read_symlink("/proc/self/exe").string(), root, dials, latency_dials,
                            baseline_ms, &ours, &base, &floor);
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  if (!ran) {
    std::fprintf(stderr, "the dials could not be run\n");
    return 2;
  }

  bool met = true;
  met &= PrintGoal("wake-ups of the whole process per second over a 5 s dial with a silent service", "", 2.0, "worst",
                   ours.wakeups_per_s, ours.wakeups_per_s.Max(), base.wakeups_per_s, base.wakeups_per_s.Max());
  met &= PrintGoal("CPU of the whole process over the same dials", "% of one core", 0.1, "worst", ours.cpu_percent,
                   ours.cpu_percent.Max(), base.cpu_percent, base.cpu_percent.Max());
  // The latencies: at most the machine's own wake-up (p99) plus 1 ms.
  met &= PrintGoal("Esc written to the console input until the wait returns \"interrupted\"", "ms p99 (floor + 1)",
                   floor.esc_ms.P99() + 1.0, "p99", ours.esc_ms, ours.esc_ms.P99(), base.esc_ms, base.esc_ms.P99(),
                   &floor.esc_ms);
  met &= PrintGoal("the notifier's \"connected\" until the wait returns it", "ms p99 (floor + 1)",
                   floor.outcome_ms.P99() + 1.0, "p99", ours.outcome_ms, ours.outcome_ms.P99(), base.outcome_ms,
                   base.outcome_ms.P99(), &floor.outcome_ms);
  if (!ours.outcomes_right || !base.outcomes_right || !floor.outcomes_right) {
    std::printf("[MISS] a dial ended with the wrong outcome\n");
    met = false;
  }
  return met ? 0 : 1;
}
