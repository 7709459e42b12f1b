// The plug-in as the user meets it, measured from outside: every run is a
// kelhost child process (the real library, --script) against a world of
// 1,000 entries, 2,000 daily log files, a phone book of 500 entries and 300
// active connections. What a run costs comes from wait4: CPU time (user and
// system) and the resident peak (ru_maxrss), kelhost and its libraries
// included.
//
// Goals, each against a baseline of the same run:
//   - the main menu with 1,000 entries (start, the menu, Esc, the end): CPU
//     at most 3 times the same main menu with one entry, which is what
//     kelhost and the library cost by themselves;
//   - F4 on the last of the 1,000 entries, its numbers changed and saved,
//     the menu again: CPU at most 3 times the same edit with one entry;
//   - GetPluginInfo's work (the settings re-read from the stand-in's
//     registry, then the record filled), called in this process as the host
//     calls it whenever it builds its menus, registry.reg as the last call
//     left it: the median of 200 calls at most 1% of the one-entry main
//     menu's CPU time. The same with registry.reg rewritten before every
//     call (another process saved a setting) is reported beside.
// Resident peaks, dialling the last entry, hanging up the 300 connections,
// the log-file menu and the phone-book menu are reported without a goal of
// their own. Each run must end with status 0 (the script fitted every call)
// and the edits must have landed.
//
// Usage: load_bench [--repetitions N]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "entries/entry_file.h"
#include "shell/host_interface.h"
#include "shell/startup.h"
#include "tests/fake_host.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 1000;
constexpr int kLogFiles = 2000;
constexpr int kPhonebookEntries = 500;
constexpr int kConnections = 300;

void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string EntryFileText(int count) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(count) * 8);
  for (int i = 0; i < count; ++i) {
    lines.push_back("[Entry " + std::to_string(i) + "]");
    lines.push_back("Login=user" + std::to_string(i));
    lines.push_back("Password=secret" + std::to_string(i));
    lines.push_back("Domain=OFFICE");
    lines.push_back("Numbers=" + std::to_string(1000000 + i) + "," + std::to_string(2000000 + i));
    lines.push_back("Interval=0");
    lines.push_back("Tries=1");
    lines.push_back("Callback=");
  }
  return FileTextFromPlainLines(lines);
}

// A child's resident peak counts what it held before its exec: a child
// forked from this program (which holds the entry file's text, among other
// things) would start from this program's size. So each kelhost run is the
// child of a fresh, small copy of this program, started as
//   load_bench --measure-child PROGRAM ARGUMENTS...
// which runs it, waits for it and writes "CPU_MS WALL_MS RESIDENT_MIB STATUS"
// (status -1 when it did not exit) to its standard output.
constexpr char kMeasureChild[] = "--measure-child";

int MeasureChild(char** argv) {
  const double w0 = bench::WallMs();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execv(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return 1;
  const double wall = bench::WallMs() - w0;
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  std::printf("%.3f %.3f %.3f %d\n", cpu, wall, static_cast<double>(usage.ru_maxrss) / 1024.0,  // KiB
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}

struct RunFigures {
  double cpu_ms = 0;
  double wall_ms = 0;
  double resident_mib = 0;
  bool sound = false;
};

class World {
 public:
  World() {
    char templ[] = "/tmp/vez_load_bench_XXXXXX";
    if (mkdtemp(templ) == nullptr) std::exit(2);
    root_ = templ;
    fs::create_directories(root_ / "world");
    fs::create_directories(plugin());
    fs::create_symlink(PLUGIN_PATH, plugin() / "vezuzaziz.so");
    fs::copy_file(LANG_PATH, plugin() / "vezuzaziz.lng");
    // 2,000 days of logs.
    for (int d = 0; d < kLogFiles; ++d) {
      const int year = 2021 + d / 360, month = 1 + (d / 30) % 12, day = 1 + d % 30;
      char name[32];
      std::snprintf(name, sizeof name, "%04d%02d%02d.log", year, month, day);
      Write(plugin() / name, "01/01  10:00:00  Dialling 1000000\r\n");
    }
    std::string pbk;
    for (int i = 0; i < kPhonebookEntries; ++i) {
      pbk += "[Book " + std::to_string(i) + "]\nPhoneNumber=t" + std::to_string(3000000 + i) + "\n";
    }
    Write(root_ / "world" / "rasphone.pbk", pbk);
    connections_ = "[counter]\nnext=" + std::to_string(kConnections + 2) + "\n";
    for (int i = 0; i < kConnections; ++i) {
      connections_ += "[" + std::to_string(i + 2) + "]\nentry=.p" + std::to_string(4000000 + i) + "\nnumber=p" +
                      std::to_string(4000000 + i) + "\nlocal_ip=10.0.0.2\nremote_ip=10.0.0.1\nspeed=28800\n";
    }
    Write(root_ / "world" / "system.ini", "[system]\nplatform_id=2\nnow=2026-03-01 09:05:03\n");
    Write(root_ / "world" / "services.ini",
          "[RASMAN]\nstate=running\n[SIMPTCP]\nstate=running\n[TAPISRV]\nstate=running\n");
    Write(root_ / "world" / "ras.ini", "[*]\nstates=0,1,2\nend=connected\nspeed=28800\n");
    Write(root_ / "world" / "registry.reg",
          "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kel\\Plugins\\VezUzaziz]\n\"daily_log\"=dword:00000001\n"
          "\"minspeed\"=dword:00000000\n\n");
  }
  ~World() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  fs::path plugin() const { return root_ / "plugin"; }
  fs::path world() const { return root_ / "world"; }
  fs::path entry_file() const { return plugin() / kEntryFileName; }
  void RestoreConnections() const { Write(root_ / "world" / "connections.ini", connections_); }

  // Runs kelhost with the script and the arguments, and waits for it.
  RunFigures Run(const std::string& script, const std::vector<std::string>& arguments) const {
    Write(root_ / "script", script);
    std::vector<std::string> words = {"/proc/self/exe",
                                      kMeasureChild,
                                      KELHOST_PATH,
                                      "--plugin",
                                      (plugin() / "vezuzaziz.so").string(),
                                      "--script",
                                      (root_ / "script").string(),
                                      "--transcript",
                                      (root_ / "transcript").string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string world = "WINAPI_WORLD=" + (root_ / "world").string();
    int out[2];
    if (pipe(out) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(out[1], 1);
      dup2(null, 2);
      close(out[0]);
      putenv(const_cast<char*>(world.c_str()));
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    std::string answer;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    RunFigures f;
    int child_status = -1;
    if (std::sscanf(answer.c_str(), "%lf %lf %lf %d", &f.cpu_ms, &f.wall_ms, &f.resident_mib, &child_status) != 4) {
      return RunFigures{};
    }
    f.sound = child_status == 0;
    if (!f.sound) std::fprintf(stderr, "%s", Read(root_ / "transcript").substr(0, 2000).c_str());
    return f;
  }

 private:
  fs::path root_;
  std::string connections_;
};

struct Action {
  std::string name;
  std::string script;
  std::vector<std::string> arguments;
  bool restore_connections = false;
};

struct Samples {
  std::vector<double> cpu, wall, resident;
  void Add(const RunFigures& f) {
    cpu.push_back(f.cpu_ms);
    wall.push_back(f.wall_ms);
    resident.push_back(f.resident_mib);
  }
};

// F4 on entry `row`, its numbers changed and saved, the menu again.
std::string EditScript(int row) {
  return "menu " + std::to_string(row) + " f4\ndialog 16 set 9 \"5550000,5550001\"\nmenu esc\n";
}

// Whether the edit changed the last entry's numbers and nothing else moved.
bool Edited(const fs::path& entry_file, int count) {
  const std::vector<std::string> plain = PlainLinesFromFileText(Read(entry_file));
  return plain.size() == static_cast<size_t>(count) * 8 && plain[plain.size() - 4] == "Numbers=5550000,5550001";
}

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

// Rewrites registry.reg the way another process's save does: a new file
// renamed over the old one.
void RewriteRegistry(const fs::path& world, bool debug) {
  const fs::path temporary = world / "registry.reg.bench";
  Write(temporary, RegistryText(debug));
  fs::rename(temporary, world / "registry.reg");
}

// GetPluginInfo in this process, on the world's registry: one repetition's
// median CPU time of 200 calls in microseconds, with registry.reg as the
// last call left it and rewritten before every call. False in `sound` when
// a call did not fill the record.
struct PluginInfoFigures {
  std::vector<double> unchanged, changed;
  bool sound = true;
};

void MeasurePluginInfo(const fs::path& world, int repetitions, PluginInfoFigures& out) {
  constexpr int kCalls = 200;
  PluginInfo info{};
  auto call = [&] {
    info = PluginInfo{};
    FillPluginInfo(&info);
    out.sound = out.sound && info.StructSize == static_cast<int>(sizeof(PluginInfo)) && info.DiskMenuStringsNumber == 1;
  };
  bool debug = false;
  auto timed = [&](bool rewrite) {
    std::vector<double> us;
    for (int i = 0; i < kCalls; ++i) {
      if (rewrite) RewriteRegistry(world, debug = !debug);
      const double t0 = bench::ThreadCpuMs();
      call();
      us.push_back((bench::ThreadCpuMs() - t0) * 1000);
    }
    return bench::Summarise(std::move(us)).median;
  };
  for (int r = 0; r < repetitions; ++r) {
    RewriteRegistry(world, debug);
    call();  // the file as it is now, read once
    out.unchanged.push_back(timed(false));
    out.changed.push_back(timed(true));
    FakeHost::Get().calls.clear();  // the fake host's record of calls grows with each
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == kMeasureChild) return MeasureChild(argv + 2);
  const int repetitions = bench::Repetitions(argc, argv);
  bench::Report report;
  World world;
  const std::string one_entry = EntryFileText(1);
  const std::string entries = EntryFileText(kEntries);
  const std::string last = "Entry " + std::to_string(kEntries - 1);
  const std::string main_menu = "main menu, 1,000 entries";
  const std::string edit = "edit of the last of 1,000 entries";
  // Rows of the main menu: the entries, then a separator, hang-up, a
  // separator, the phone book, a separator, the current log, the log files.
  const std::vector<Action> actions = {
      {main_menu, "menu esc\n", {}},
      {edit, EditScript(kEntries - 1), {}},
      {"dial of the last entry", "message 0\n", {"ras:" + last}},
      {"hang-up of 300 connections", "", {"ras:hangup"}, true},
      {"log-file menu, 2,000 files", "menu " + std::to_string(kEntries + 6) + "\nmenu " + std::to_string(kLogFiles - 1) + "\n", {}},
      {"phone-book menu, 500 entries, the last dialled",
       "menu " + std::to_string(kEntries + 3) + "\nmenu " + std::to_string(kPhonebookEntries - 1) + "\n", {}, true},
  };

  Samples menu_one, edit_one;
  std::map<std::string, Samples> samples;
  bool edited = true;
  for (int r = 0; r < repetitions; ++r) {
    Write(world.entry_file(), one_entry);
    RunFigures f = world.Run("menu esc\n", {});
    if (!f.sound) report.Fault("the main menu with one entry did not end well");
    menu_one.Add(f);
    f = world.Run(EditScript(0), {});
    if (!f.sound) report.Fault("the edit of one entry did not end well");
    edited = edited && Edited(world.entry_file(), 1);
    edit_one.Add(f);
    for (const Action& a : actions) {
      Write(world.entry_file(), entries);
      if (a.restore_connections) world.RestoreConnections();
      f = world.Run(a.script, a.arguments);
      if (!f.sound) report.Fault(a.name + " did not end well");
      if (a.name == edit) edited = edited && Edited(world.entry_file(), kEntries);
      samples[a.name].Add(f);
    }
  }
  if (!edited) report.Fault("an edit did not change the last entry's numbers");

  setenv("WINAPI_WORLD", world.world().c_str(), 1);
  StandinReloadWorld();
  FakeHost::Install(world::WindowsPath((world.plugin() / "vezuzaziz.dll").string()));
  PluginInfoFigures info;
  MeasurePluginInfo(world.world(), repetitions, info);
  if (!info.sound) report.Fault("GetPluginInfo did not fill the record");

  const bench::Figures menu_one_cpu = bench::Summarise(menu_one.cpu);
  report.Baseline("main menu, one entry", "CPU ms", menu_one_cpu);
  report.AtMostTimes(main_menu, "CPU ms", bench::Summarise(samples[main_menu].cpu), "one entry", menu_one_cpu, 3);
  report.Baseline("edit of one entry", "CPU ms", bench::Summarise(edit_one.cpu));
  report.AtMostTimes(edit, "CPU ms", bench::Summarise(samples[edit].cpu), "one entry", bench::Summarise(edit_one.cpu),
                     3);
  // The main menu's CPU time in microseconds, of which GetPluginInfo may take 1%.
  const bench::Figures menu_one_us = bench::Scaled(menu_one_cpu, 1e-3);
  report.AtMostTimes("GetPluginInfo, registry unchanged", "CPU us", bench::Summarise(info.unchanged),
                     "main menu, one entry", menu_one_us, 0.01);
  report.Compare("GetPluginInfo, registry.reg changed", "CPU us", bench::Summarise(info.changed),
                 "main menu, one entry", menu_one_us);
  report.Info("main menu, one entry", "MiB", bench::Summarise(menu_one.resident));
  report.Info("edit of one entry", "MiB", bench::Summarise(edit_one.resident));
  for (const Action& a : actions) {
    const Samples& s = samples[a.name];
    if (a.name != main_menu && a.name != edit) report.Info(a.name, "CPU ms", bench::Summarise(s.cpu));
    report.Info(a.name, "MiB", bench::Summarise(s.resident));
  }
  return report.ExitStatus();
}
