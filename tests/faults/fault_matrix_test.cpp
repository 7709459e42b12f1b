// The fault matrix: every user action through the exports, once in a sound
// world and once with each fault the stand-in can inject. Whatever the fault,
// the action must end (no hang), nothing may escape to the host, every saved
// screen must be restored, the host must only be called from its own thread,
// the entry file and the settings key must be either untouched or changed
// exactly as the sound run changed them, and where the fault cost the user
// something the sound run achieved, a warning box must say so.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dial/ras_function_lookup.h"
#include "entries/entry_file.h"
#include "shell/file_io.h"
#include "shell/host_interface.h"
#include "shell/messages.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "tests/fake_host.h"
#include "tests/test_only.h"
#include "winapi/ras_sim.h"
#include "winapi/reg_file.h"
#include "winapi/standin_console.h"
#include "winapi/standin_control.h"

extern "C" {
void SetStartupInfo(const HostStartupInfo* info);
void GetPluginInfo(PluginInfo* info);
int OpenPlugin(int origin, intptr_t item);
int Configure(int item);
}

namespace {

namespace fs = std::filesystem;

constexpr char kSettingsSection[] = "HKEY_CURRENT_USER\\Software\\Kel\\Plugins\\VezUzaziz";

// The settings as a careful user keeps them: one log file, so that the log
// faults have a known target, and minspeed present.
const char kSoundSettings[] =
    "\"dial_prefix\"=dword:00000000\n\"show_progress\"=dword:00000001\n\"show_disk\"=dword:00000001\n"
    "\"daily_log\"=dword:00000000\n\"i629\"=dword:00000001\n\"debug\"=dword:00000000\n"
    "\"logfilename\"=\"vezuzaziz.log\"\n\"startupfile\"=\"startup.lst\"\n\"phonebook\"=\"\"\n"
    "\"minspeed\"=dword:00000000\n";

// Every one of the ten values stored with a type the plug-in does not read.
const char kWrongTypedSettings[] =
    "\"dial_prefix\"=\"0\"\n\"show_progress\"=hex:01\n\"show_disk\"=hex(b):01,00,00,00,00,00,00,00\n"
    "\"daily_log\"=\"1\"\n\"i629\"=hex(7):00,00\n\"debug\"=hex(4):01,00\n\"logfilename\"=dword:00000001\n"
    "\"startupfile\"=hex:41,42\n\"phonebook\"=dword:00000000\n"
    "\"minspeed\"=hex(4):00,00,00,00,00,00,00,00\n";

enum class Fault {
  kNone,
  kLogDirMissing,      // logfilename names a directory that does not exist
  kLogUnwritable,      // a directory stands where the log file should be: access denied
  kLogDiskFull,        // the first write to a log file fails with ERROR_DISK_FULL
  kEntryDiskFull,      // the first write of an entry-file save fails with ERROR_DISK_FULL
  kEntryUnwritable,    // the entry file's lock file cannot be opened: access denied
  kEntryVanishes,      // the entry file is deleted while the first host call is answered
  kRegistryReadOnly,   // the settings key cannot be written, and minspeed is missing
  kRegistryWrongTypes, // all ten values of a wrong type
  kServicesFail,       // the three services are stopped; starting fails or dies
  kRasSilent,          // the service never reports; the user presses Esc
  kRasLateCallbacks,   // Esc mid-dial; the service goes on reporting after the hang-up
  kRasErrorAfterConnected,
  kRasRefuses,         // RasDialA refuses at once
  kRasLibraryMissing,  // rasapi32.dll cannot be loaded for run-time lookups
  kLanguageTextsMissing,  // every GetMessageText answers the empty text
};

const char* FaultName(Fault f) {
  switch (f) {
    case Fault::kNone: return "None";
    case Fault::kLogDirMissing: return "LogDirMissing";
    case Fault::kLogUnwritable: return "LogUnwritable";
    case Fault::kLogDiskFull: return "LogDiskFull";
    case Fault::kEntryDiskFull: return "EntryDiskFull";
    case Fault::kEntryUnwritable: return "EntryUnwritable";
    case Fault::kEntryVanishes: return "EntryVanishes";
    case Fault::kRegistryReadOnly: return "RegistryReadOnly";
    case Fault::kRegistryWrongTypes: return "RegistryWrongTypes";
    case Fault::kServicesFail: return "ServicesFail";
    case Fault::kRasSilent: return "RasSilent";
    case Fault::kRasLateCallbacks: return "RasLateCallbacks";
    case Fault::kRasErrorAfterConnected: return "RasErrorAfterConnected";
    case Fault::kRasRefuses: return "RasRefuses";
    case Fault::kRasLibraryMissing: return "RasLibraryMissing";
    case Fault::kLanguageTextsMissing: return "LanguageTextsMissing";
  }
  return "?";
}

const Fault kAllFaults[] = {
    Fault::kNone,          Fault::kLogDirMissing,     Fault::kLogUnwritable,       Fault::kLogDiskFull,
    Fault::kEntryDiskFull, Fault::kEntryUnwritable,   Fault::kEntryVanishes,       Fault::kRegistryReadOnly,
    Fault::kRegistryWrongTypes, Fault::kServicesFail, Fault::kRasSilent,           Fault::kRasLateCallbacks,
    Fault::kRasErrorAfterConnected, Fault::kRasRefuses, Fault::kRasLibraryMissing, Fault::kLanguageTextsMissing,
};

// One user action: what the host is asked and how the user answers.
struct Action {
  const char* name;
  std::function<void(FakeHost&)> answers;  // queued before the export runs
  std::function<void()> run;               // the export call
};

int OpenFromMenu() { return OpenPlugin(0, 0); }
int OpenCommand(const char* text) { return OpenPlugin(OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(text)); }

// Main menu rows with the two entries of the world: 0 Office, 1 Home, 2 -,
// 3 hang up, 4 -, 5 phone book, 6 -, 7 view log, 8 choose log, 9 -.
const std::vector<Action>& Actions() {
  static const std::vector<Action> actions = {
      {"StartUp", [](FakeHost& h) { h.QueueMenu(-1); }, [] { OpenFromMenu(); }},
      {"Dial", [](FakeHost& h) { h.QueueMessage(0); h.QueueMessage(0); }, [] { OpenCommand("Office"); }},
      {"DialFromMenu", [](FakeHost& h) { h.QueueMenu(1); h.QueueMessage(0); h.QueueMessage(0); },
       [] { OpenFromMenu(); }},
      {"HangUp", [](FakeHost&) {}, [] { OpenCommand("HANGUP"); }},
      {"AddEntry",
       [](FakeHost& h) {
         h.QueueMenu(0, 1);
         h.QueueDialog(16, {{1, "Work"}, {3, "bob"}, {9, "444"}});
         h.QueueMenu(-1);
       },
       [] { OpenFromMenu(); }},
      {"EditEntry",
       [](FakeHost& h) {
         h.QueueMenu(0, 0);
         h.QueueDialog(16, {{9, "555,666"}, {13, "3"}});
         h.QueueMenu(-1);
       },
       [] { OpenFromMenu(); }},
      {"RenameEntry",
       [](FakeHost& h) {
         h.QueueMenu(1, 0);
         h.QueueDialog(16, {{1, "Cottage"}});
         h.QueueMenu(-1);
       },
       [] { OpenFromMenu(); }},
      {"DeleteEntry",
       [](FakeHost& h) {
         h.QueueMenu(1, 2);
         h.QueueMessage(0);
         h.QueueMenu(-1);
       },
       [] { OpenFromMenu(); }},
      {"Configure",
       [](FakeHost& h) {
         // Every one of the ten values changes, so that a half-saved set shows.
         h.QueueDialog(10, {{4, "other.log"}, {6, "after.lst"}, {8, "Z:\\tmp\\none.pbk"}, {17, "9600"}},
                       {{1, 0}, {2, 1}, {12, 0}, {13, 0}, {14, 1}, {15, 0}, {18, 1}});
       },
       [] { Configure(0); }},
      {"ViewLog", [](FakeHost& h) { h.QueueMenu(7); }, [] { OpenFromMenu(); }},
      {"ChooseLog", [](FakeHost& h) { h.QueueMenu(8); h.QueueMenu(0); }, [] { OpenFromMenu(); }},
      {"PhonebookDial", [](FakeHost& h) { h.QueueMenu(5); h.QueueMenu(0); h.QueueMessage(0); },
       [] { OpenFromMenu(); }},
      {"PhonebookEdit", [](FakeHost& h) { h.QueueMenu(5); h.QueueMenu(0, 0); }, [] { OpenFromMenu(); }},
      {"PhonebookCreate", [](FakeHost& h) { h.QueueMenu(5); h.QueueMenu(1, 1); }, [] { OpenFromMenu(); }},
      {"PhonebookDelete", [](FakeHost& h) { h.QueueMenu(5); h.QueueMenu(1, 2); h.QueueMessage(0); },
       [] { OpenFromMenu(); }},
  };
  return actions;
}

// The host operation that makes the entry file vanish: the first time the
// plug-in calls the host after opening, the file is gone when it next looks.
std::string g_vanishing_file;
HostMenuFn g_real_menu;
HostDialogFn g_real_dialog;
HostMessageFn g_real_message;
HostSaveScreenFn g_real_save;

void Vanish() {
  if (g_vanishing_file.empty()) return;
  std::error_code ec;
  fs::remove(g_vanishing_file, ec);
  g_vanishing_file.clear();
}
int HOSTAPI VanishingMenu(int id, int x, int y, int h, unsigned f, const char* t, const char* b, const char* help,
                          const int* k, int* code, const HostMenuItem* items, int n) {
  Vanish();
  return g_real_menu(id, x, y, h, f, t, b, help, k, code, items, n);
}
int HOSTAPI VanishingDialog(int id, int x1, int y1, int x2, int y2, const char* help, HostDialogItem* items, int n) {
  Vanish();
  return g_real_dialog(id, x1, y1, x2, y2, help, items, n);
}
int HOSTAPI VanishingMessage(int id, unsigned f, const char* help, const char* const* items, int n, int buttons) {
  Vanish();
  return g_real_message(id, f, help, items, n, buttons);
}
void* HOSTAPI VanishingSave(int x1, int y1, int x2, int y2) {
  Vanish();
  return g_real_save(x1, y1, x2, y2);
}

// What one run left behind.
struct Outcome {
  bool entry_file_exists = false;
  std::vector<std::string> entry_lines;
  std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>> settings;  // name -> type, bytes
  std::vector<std::string> log;
  size_t connections = 0;
  bool warned = false;  // a warning box (flags 1) was shown
  bool escaped = false;  // an exception reached the test through an export
  bool hung = false;     // the watchdog had to break the action off
  int open_screens = 0;
  int wrong_thread_calls = 0;
  size_t host_calls = 0;
  bool null_box_item = false;
  std::vector<std::string> leftovers;  // temporary files of a save left in the plug-in directory
};

class FaultWorld : public PluginTest {
 protected:
  void TearDown() override {
    RasSimStopAll();
    StandinClearConsoleInput();
    PluginTest::TearDown();
  }

  // A fresh world and plug-in directory with two entries, a phone book, an
  // active connection, a few log files and the services running.
  void PrepareWorld(Fault fault) {
    RasSimStopAll();
    StandinClearConsoleInput();
    std::error_code ec;
    fs::remove_all(world_dir, ec);
    fs::remove_all(plugin_dir, ec);
    fs::create_directories(world_dir);
    fs::create_directories(plugin_dir);

    std::string system = "[system]\nplatform_id=2\nnow=2026-03-01 09:05:03\n";
    std::string services =
        "[RASMAN]\nstate=running\n[SIMPTCP]\nstate=running\n[TAPISRV]\nstate=running\n";
    std::string settings = kSoundSettings;
    std::string ras = "[*]\nstates=0,1,2,3\nend=connected\nspeed=28800\n";
    std::string faults;
    std::string libraries;
    switch (fault) {
      case Fault::kLogDirMissing:
        settings = std::string(kSoundSettings) + "\"logfilename\"=\"gone\\\\vezuzaziz.log\"\n";
        break;
      case Fault::kLogUnwritable:
        fs::create_directories(plugin_dir + "/vezuzaziz.log");
        break;
      case Fault::kLogDiskFull:
        faults = "fail_write=1\nfail_write_path=.log\n";
        break;
      case Fault::kEntryDiskFull:
        faults = "fail_write=1\nfail_write_path=vezuzaziz.ini\n";
        break;
      case Fault::kEntryUnwritable:
        fs::create_directories(plugin_dir + "/vezuzaziz.ini.lock");
        break;
      case Fault::kRegistryReadOnly:
        faults = "readonly_keys=HKEY_CURRENT_USER\\Software\\Kel\n";
        settings = std::string(kSoundSettings) + "\"minspeed\"=-\n";
        break;
      case Fault::kRegistryWrongTypes:
        settings = kWrongTypedSettings;
        break;
      case Fault::kServicesFail:
        services =
            "[RASMAN]\nstate=stopped\nstart=fail\nerror=1058\n[SIMPTCP]\nstate=stopped\nstart=stops\nstart_ms=50\n"
            "[TAPISRV]\nstate=disabled\n";
        break;
      case Fault::kRasSilent:
        ras = "[*]\nsilent=1\n";
        break;
      case Fault::kRasLateCallbacks:
        ras = "[*]\nstates=0,1,2,3,4,5\npause_ms=20\nesc_at_state=2\ncallback_after_hangup=1\nend=connected\n";
        break;
      case Fault::kRasErrorAfterConnected:
        ras = "[*]\nstates=0,1\nend=connected\nerror_after_connected=629\n";
        break;
      case Fault::kRasRefuses:
        ras = "[*]\nrefuse=633\n";
        break;
      case Fault::kRasLibraryMissing:
        libraries = "[libraries]\nrasapi32=missing\n";
        break;
      default:
        break;
    }
    if (!faults.empty()) system += "[faults]\n" + faults;
    system += libraries;
    WriteWorldFile("system.ini", system);
    WriteWorldFile("services.ini", services);
    WriteWorldFile("ras.ini", ras + "[credentials:Office]\nuser=alice\npassword=pw\n"
                                     "[phonebook]\ncreate_name=Lab\ncreate_number=t777\nedit_number=t888\n");
    WriteWorldFile("rasphone.pbk", "[Office]\nPhoneNumber=t999\n[Spare]\nPhoneNumber=t998\n");
    WriteWorldFile("connections.ini",
                   "[counter]\nnext=3\n[2]\nentry=.p123\nnumber=p123\nlocal_ip=10.0.0.2\nremote_ip=10.0.0.1\n"
                   "speed=28800\n");
    WriteWorldFile("registry.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\Software]\n\n"
                                   "[HKEY_CURRENT_USER\\Software\\Kel]\n\n[HKEY_CURRENT_USER\\Software\\Kel\\Plugins]\n\n[" +
                                       std::string(kSettingsSection) + "]\n" + settings + "\n");

    WritePluginFile("vezuzaziz.ini",
                    FileTextFromPlainLines({"[Office]", "Login=alice", "Password=secret", "Domain=", "Numbers=111,222",
                                            "Interval=0", "Tries=2", "Callback=", "[Home]", "Login=alice",
                                            "Password=secret", "Domain=", "Numbers=333", "Interval=0", "Tries=1",
                                            "Callback="}));
    WritePluginFile("20260228.log", "28/02  10:00:00  old day\r\n");
    if (fault != Fault::kLogUnwritable) WritePluginFile("vezuzaziz.log", "");
    StandinReloadWorld();
    ResetRasFunctionLookup();
    ResetCurrentEntry();

    host = &FakeHost::Install(module_path);
    Settings() = PluginSettings{};
    VersionRecord() = OSVERSIONINFOA{};
    if (fault == Fault::kLanguageTextsMissing) {
      for (int n = 0; n < 128; ++n) host->texts[n] = "";
    }
    if (fault == Fault::kEntryVanishes) {
      g_vanishing_file = plugin_dir + "/vezuzaziz.ini";
      g_real_menu = host->record.Menu;
      g_real_dialog = host->record.Dialog;
      g_real_message = host->record.Message;
      g_real_save = host->record.SaveScreen;
      host->record.Menu = VanishingMenu;
      host->record.Dialog = VanishingDialog;
      host->record.Message = VanishingMessage;
      host->record.SaveScreen = VanishingSave;
    } else {
      g_vanishing_file.clear();
    }
    SetStartupInfo(&host->record);
  }

  Outcome RunAction(const Action& action, Fault fault) {
    PrepareWorld(fault);
    action.answers(*host);
    Outcome out;

    // The watchdog breaks off an action that never ends, so that a hang is
    // a failed case and not a stuck test run. With a silent service the user
    // presses Esc, as he would.
    std::atomic<bool> done{false};
    std::atomic<bool> hung{false};
    std::thread watchdog([&] {
      const auto start = std::chrono::steady_clock::now();
      bool esc_pressed = false;
      while (!done.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto waited = std::chrono::steady_clock::now() - start;
        if (fault == Fault::kRasSilent && !esc_pressed && waited > std::chrono::milliseconds(200)) {
          StandinPushKey(VK_ESCAPE, true);
          StandinPushKey(VK_ESCAPE, false);
          esc_pressed = true;
        }
        if (waited > std::chrono::seconds(20)) {
          hung = true;
          StandinPushKey(VK_ESCAPE, true);
          StandinPushKey(VK_ESCAPE, false);
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
      }
    });
    try {
      action.run();
    } catch (...) {
      out.escaped = true;
    }
    done = true;
    watchdog.join();
    RasSimStopAll();

    out.hung = hung;
    out.open_screens = host->open_screens;
    out.wrong_thread_calls = host->wrong_thread_calls;
    out.host_calls = host->calls.size();
    for (const HostCall& c : host->calls) {
      if (c.op != "Message") continue;
      if (c.flags == FMSG_WARNING) out.warned = true;
      for (const std::string& item : c.items) {
        if (item == "(null)") out.null_box_item = true;
      }
    }
    out.entry_file_exists = fs::is_regular_file(plugin_dir + "/vezuzaziz.ini");
    if (out.entry_file_exists) out.entry_lines = PlainLinesFromFileText(ReadPluginFile("vezuzaziz.ini"));
    const standin::RegTree tree = standin::ParseRegText(ReadWorldFile("registry.reg"));
    if (const standin::RegKey* key = tree.Find(kSettingsSection)) {
      for (const standin::RegValue& v : key->values) out.settings[v.name] = {v.type, v.data};
    }
    if (fs::is_regular_file(plugin_dir + "/vezuzaziz.log")) out.log = LogTexts("vezuzaziz.log");
    DWORD bytes = 0, count = 0;
    if (RasEnumConnectionsA(nullptr, &bytes, &count) != 0) out.connections = bytes / sizeof(RASCONNA);
    for (const fs::directory_entry& e : fs::directory_iterator(plugin_dir)) {
      const std::string name = e.path().filename().string();
      if (e.is_regular_file() && name.size() > 4 && name.substr(name.size() - 4) == ".new") out.leftovers.push_back(name);
    }
    return out;
  }
};

class FaultMatrixTest : public FaultWorld, public ::testing::WithParamInterface<std::tuple<int, Fault>> {};

const Action& ActionNamed(const std::string& name) {
  for (const Action& a : Actions()) {
    if (name == a.name) return a;
  }
  throw std::logic_error("no action " + name);
}

// Each injected fault really reaches the plug-in: the matrix would prove
// nothing about a fault that the world setup failed to inject.
TEST_F(FaultWorld, EveryFaultTakesEffect) {
  const std::pair<const char*, Fault> warned[] = {
      {"AddEntry", Fault::kLogDirMissing},       {"AddEntry", Fault::kLogUnwritable},
      {"AddEntry", Fault::kLogDiskFull},         {"AddEntry", Fault::kEntryDiskFull},
      {"AddEntry", Fault::kEntryUnwritable},     {"AddEntry", Fault::kEntryVanishes},
      {"Configure", Fault::kRegistryReadOnly},   {"Configure", Fault::kRegistryWrongTypes},
      {"StartUp", Fault::kRegistryWrongTypes},   {"Dial", Fault::kRasSilent},
      {"Dial", Fault::kRasLateCallbacks},        {"Dial", Fault::kRasRefuses},
      {"PhonebookDelete", Fault::kRasLibraryMissing},
  };
  for (const auto& [name, fault] : warned) {
    SCOPED_TRACE(std::string(name) + " " + FaultName(fault));
    const Outcome o = RunAction(ActionNamed(name), fault);
    EXPECT_TRUE(o.warned);
  }

  // Services that fail to start: each is logged and tried, and the start-up
  // goes on to the menu.
  RunAction(ActionNamed("StartUp"), Fault::kServicesFail);
  EXPECT_EQ(LogTexts("vezuzaziz.log"), (std::vector<std::string>{"<90>", "<91>", "<92>"}));
  EXPECT_EQ(host->Ops(), "Menu");

  // An error after "connected" leaves the dial connected.
  const Outcome late_error = RunAction(ActionNamed("Dial"), Fault::kRasErrorAfterConnected);
  EXPECT_EQ(late_error.connections, 2u);
  EXPECT_FALSE(late_error.warned);

  // Without its texts the menu still opens, with empty captions.
  RunAction(ActionNamed("StartUp"), Fault::kLanguageTextsMissing);
  ASSERT_EQ(host->Calls("Menu").size(), 1u);
  EXPECT_EQ(host->Calls("Menu")[0].title, "");
}

// A service that goes on reporting after the hang-up of a dial broken off
// with Esc: its late reports must not decide the next dial of the session.
// The notifier is told which dial each report belongs to.
TEST_F(FaultWorld, LateReportsOfABrokenOffDialDoNotDecideTheNextDial) {
  PrepareWorld(Fault::kNone);
  WriteWorldFile("ras.ini",
                 "[p111]\nstates=0,1,2,3,4,5,6,7\npause_ms=30\nesc_at_state=1\ncallback_after_hangup=1\n"
                 "end=connected\n[p333]\nsilent=1\n");
  host->QueueMessage(0);
  OpenCommand("Office");
  ASSERT_EQ(LogTexts("vezuzaziz.log").back(), "<37>");

  // The second dial's service says nothing: only the user's Esc ends it.
  host->calls.clear();
  std::thread user([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    StandinPushKey(VK_ESCAPE, true);
    StandinPushKey(VK_ESCAPE, false);
  });
  host->QueueMessage(0);
  OpenCommand("Home");
  user.join();
  EXPECT_EQ(LogTexts("vezuzaziz.log").back(), "<37>");
  EXPECT_EQ(host->open_screens, 0);
  EXPECT_EQ(host->wrong_thread_calls, 0);
}

// ---- Two host windows changing the entry file at once ------------------------------

// How a change made in a process of its own ended.
enum class ChangeEnd { kLanded, kBusy, kFailed };

// Runs each change in a child process; the children start their changes
// together, once all of them exist. A child reports through its exit
// status: 0 landed, 2 refused with the busy text, 1 any other failure.
std::vector<ChangeEnd> RunInProcessesAtOnce(const std::vector<std::function<void()>>& changes,
                                            const std::string& busy_text) {
  int gate[2];
  if (pipe(gate) != 0) throw std::runtime_error("pipe");
  std::vector<pid_t> children;
  for (const auto& change : changes) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(gate[1]);
      char byte;
      while (read(gate[0], &byte, 1) < 0 && errno == EINTR) {
      }
      int status = 0;
      try {
        change();
      } catch (const std::exception& e) {
        status = e.what() == busy_text ? 2 : 1;
      } catch (...) {
        status = 1;
      }
      _exit(status);
    }
    children.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);  // the gate opens: every child's read returns
  std::vector<ChangeEnd> ends;
  for (pid_t pid : children) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    ends.push_back(code == 0 ? ChangeEnd::kLanded : code == 2 ? ChangeEnd::kBusy : ChangeEnd::kFailed);
  }
  return ends;
}

DialEntry Numbered(const std::string& name, const std::string& numbers) {
  return DialEntry{name, "user", "pw=x", "", numbers, "0", "2", ""};
}

std::vector<std::string> PlainBlock(const DialEntry& e) {
  return {"[" + e.Name + "]", "Login=" + e.Login, "Password=" + e.Password, "Domain=" + e.Domain,
          "Numbers=" + e.Numbers, "Interval=" + e.Interval, "Tries=" + e.Tries, "Callback=" + e.Callback};
}

std::vector<std::string> Flatten(const std::vector<DialEntry>& entries) {
  std::vector<std::string> lines;
  lines.reserve(entries.size() * 8);
  for (const DialEntry& e : entries) {
    for (std::string& line : PlainBlock(e)) lines.push_back(std::move(line));
  }
  return lines;
}

// Add against delete and edit against rename, each pair made by two
// processes at once on one file: both changes land, in whatever order, so
// the file is exactly what the two changes make of it. A mixed file, a lost
// change or a changed third entry shows as a difference from that.
TEST_F(FaultWorld, TwoProcessesChangingTheEntryFileAtOnceBothLand) {
  PrepareWorld(Fault::kNone);
  const std::string busy = host->Text(MEntryFileBusy);
  struct Size {
    int entries;
    int pairs;
  };
  // A change rewrites every line of the file: at 10,000 entries each one
  // holds the lock long enough (a tenth of a second here, seconds under the
  // sanitizers) that the two overlap in nearly every pair.
  for (const Size size : {Size{1000, 100}, Size{10000, 8}}) {
    SCOPED_TRACE(std::to_string(size.entries) + " entries");
    std::vector<DialEntry> model;
    for (int i = 0; i < size.entries; ++i) model.push_back(Numbered("E" + std::to_string(i), std::to_string(i)));
    WritePluginFile("vezuzaziz.ini", FileTextFromPlainLines(Flatten(model)));
    int landed = 0;
    int refused = 0;
    for (int k = 0; k < size.pairs; ++k) {
      const bool add_and_delete = k % 2 == 0;
      // Entries near the front and the back, never the same one twice.
      const size_t first = static_cast<size_t>(k);
      const size_t second = model.size() - 1 - static_cast<size_t>(k);
      std::vector<DialEntry> after_first = model;
      std::vector<DialEntry> after_second = model;
      std::function<void()> change_a;
      std::function<void()> change_b;
      const DialEntry added = Numbered("N" + std::to_string(k), "777");
      DialEntry edited = model[first];
      edited.Numbers = "555," + std::to_string(k);
      DialEntry renamed = model[second];
      renamed.Name = "R" + std::to_string(k);
      if (add_and_delete) {
        const std::string gone = model[second].Name;
        change_a = [added] { AppendDialEntry(added); };
        change_b = [gone] { DeleteDialEntry(gone); };
        after_first.push_back(added);
        after_second.erase(after_second.begin() + static_cast<long>(second));
      } else {
        const std::string old_name = model[second].Name;
        change_a = [edited] { ReplaceDialEntry(edited); };
        change_b = [old_name, renamed] { RenameDialEntry(old_name, renamed); };
        after_first[first] = edited;
        after_second[second] = renamed;
      }
      const std::vector<ChangeEnd> ends = RunInProcessesAtOnce({change_a, change_b}, busy);
      ASSERT_NE(ends[0], ChangeEnd::kFailed) << "pair " << k;
      ASSERT_NE(ends[1], ChangeEnd::kFailed) << "pair " << k;
      // The model follows what landed; a refused change is one the user was told of.
      if (ends[0] == ChangeEnd::kLanded) {
        if (add_and_delete) model.push_back(added); else model[first] = edited;
      }
      if (ends[1] == ChangeEnd::kLanded) {
        if (add_and_delete) model.erase(model.begin() + static_cast<long>(second)); else model[second] = renamed;
      }
      for (ChangeEnd e : ends) (e == ChangeEnd::kLanded ? landed : refused) += 1;
      ASSERT_EQ(PlainLinesFromFileText(ReadPluginFile("vezuzaziz.ini")), Flatten(model)) << "pair " << k;
    }
    EXPECT_EQ(landed + refused, 2 * size.pairs);
    EXPECT_GT(landed, refused);
    std::cout << size.entries << " entries, " << size.pairs << " pairs: " << landed << " changes landed, " << refused
              << " refused with the busy box\n";
    std::vector<std::string> stray;
    for (const fs::directory_entry& e : fs::directory_iterator(plugin_dir)) {
      const std::string name = e.path().filename().string();
      if (name.find(".new") != std::string::npos || name.find(".old") != std::string::npos) stray.push_back(name);
    }
    EXPECT_TRUE(stray.empty()) << stray.front();
  }
}

// A change that cannot have the lock within its wait changes nothing and
// says so; the reading operations do not wait for the lock.
TEST_F(FaultWorld, AChangeThatCannotHaveTheLockChangesNothingAndSaysSo) {
  PrepareWorld(Fault::kNone);
  const std::string before = ReadPluginFile("vezuzaziz.ini");
  FileLock other_window(EntryFilePath() + kEntryLockSuffix, 0, MEntryFileBusy);
  try {
    AppendDialEntry(Numbered("Late", "1"));
    ADD_FAILURE() << "the change did not wait for the lock";
  } catch (const PluginError& e) {
    EXPECT_EQ(std::string(e.what()), host->Text(MEntryFileBusy));
  }
  EXPECT_EQ(ReadPluginFile("vezuzaziz.ini"), before);
  EXPECT_EQ(ListEntryNames(), "Office,Home");
  EXPECT_TRUE(ReadDialEntry("Home"));
}

// ---- Files that are not what they seem --------------------------------------------

// An entry file, after-connect list or log that is a pipe, a device or a
// huge file ends the action with a box naming the file; nothing waits on
// the pipe for a writer, nothing reads the device without end.
TEST_F(FaultWorld, PipesDevicesAndHugeFilesEndTheActionWithABox) {
  struct Case {
    const char* what;
    const char* action;
    const char* file;
    std::function<void(const std::string&)> make;
    int message;
  };
  const auto fifo = [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); };
  const auto device = [](const std::string& path) { fs::create_symlink("/dev/zero", path); };
  const auto huge = [](const std::string& path) {
    // Sparse: 100 MB that take no room.
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(ftruncate(fileno(f), 100 << 20), 0);
    std::fclose(f);
  };
  const Case cases[] = {
      {"fifo", "StartUp", "vezuzaziz.ini", fifo, MNotRegularFile},
      {"device", "StartUp", "vezuzaziz.ini", device, MNotRegularFile},
      {"huge", "Dial", "vezuzaziz.ini", huge, MFileTooLarge},
      {"fifo", "AddEntry", "vezuzaziz.ini", fifo, MNotRegularFile},
      {"fifo", "ViewLog", "vezuzaziz.log", fifo, MNotRegularFile},
      {"device", "ChooseLog", "20260228.log", device, MNotRegularFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " " + c.file + " " + c.action);
    const Action& action = ActionNamed(c.action);
    PrepareWorld(Fault::kNone);
    const std::string path = plugin_dir + "/" + c.file;
    fs::remove(path);
    c.make(path);
    action.answers(*host);
    action.run();
    const std::vector<HostCall> boxes = host->Calls("Message");
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().flags, FMSG_WARNING);
    const std::string named = host->Text(c.message);
    EXPECT_EQ(boxes.back().items.at(1).rfind(named, 0), 0u) << boxes.back().items.at(1);
    EXPECT_NE(boxes.back().items.at(1).find(c.file), std::string::npos);
    EXPECT_EQ(host->open_screens, 0);
    EXPECT_EQ(host->Calls("Viewer").size(), 0u);
  }

  // The after-connect list, read once the dial has connected.
  PrepareWorld(Fault::kNone);
  fifo(plugin_dir + "/startup.lst");
  host->QueueMessage(0);
  host->QueueMessage(0);
  OpenCommand("Office");
  EXPECT_EQ(host->Calls("Message").back().items.at(1).rfind(host->Text(MNotRegularFile), 0), 0u);
  EXPECT_EQ(host->open_screens, 0);
}

// A disk that fills in the middle of a log line: the part that landed is cut
// off again, so every line in the file is whole and the next one starts on
// its own line.
TEST_F(FaultWorld, ADiskFullInTheMiddleOfALogLineLeavesOnlyWholeLines) {
  PrepareWorld(Fault::kNone);
  WritePluginFile("vezuzaziz.log", "01/03  09:00:00  before\r\n");
  WriteWorldFile("system.ini", "[system]\nplatform_id=2\nnow=2026-03-01 09:05:03\n[faults]\nfail_write=1\n"
                               "fail_write_path=.log\nfail_write_bytes=9\n");
  host->QueueMessage(0);
  host->QueueMessage(0);
  OpenCommand("Office");
  EXPECT_EQ(host->Calls("Message").back().flags, FMSG_WARNING);
  WriteWorldFile("system.ini", "[system]\nplatform_id=2\nnow=2026-03-01 09:05:03\n");
  host->QueueMessage(0);
  host->QueueMessage(0);
  OpenCommand("Office");
  // The lost line is gone whole; the failure's own line and the next dial's
  // lines follow, each with one time stamp at its start.
  const std::string log = ReadPluginFile("vezuzaziz.log");
  ASSERT_EQ(log.rfind("01/03  09:00:00  before\r\n01/03  09:05:03  Cannot write", 0), 0u) << log;
  ASSERT_EQ(log.substr(log.size() - 2), "\r\n");
  size_t lines = 0;
  for (size_t at = 0; at < log.size(); at = log.find("\r\n", at) + 2, ++lines) {
    const std::string line = log.substr(at, log.find("\r\n", at) - at);
    EXPECT_EQ(line.substr(2, 1) + line.substr(5, 2) + line.substr(15, 2), "/    ") << line;
    EXPECT_EQ(line.find("01/03  ", 1), std::string::npos) << "two lines glued: " << line;
  }
  EXPECT_GE(lines, 4u);
}

TEST_P(FaultMatrixTest, ActionEndsSoundlyUnderTheFault) {
  const Action& action = Actions()[static_cast<size_t>(std::get<0>(GetParam()))];
  const Fault fault = std::get<1>(GetParam());

  // The sound run tells what the action changes; the world before either run
  // is the same (PrepareWorld), apart from the fault itself.
  const Outcome sound = RunAction(action, Fault::kNone);
  ASSERT_FALSE(sound.hung);
  PrepareWorld(fault);
  const std::vector<std::string> entries_before =
      fs::is_regular_file(plugin_dir + "/vezuzaziz.ini") ? PlainLinesFromFileText(ReadPluginFile("vezuzaziz.ini"))
                                                          : std::vector<std::string>{};
  std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>> settings_before;
  {
    const standin::RegTree tree = standin::ParseRegText(ReadWorldFile("registry.reg"));
    if (const standin::RegKey* key = tree.Find(kSettingsSection)) {
      for (const standin::RegValue& v : key->values) settings_before[v.name] = {v.type, v.data};
    }
  }
  const Outcome sound_before = [&] {
    Outcome o;
    PrepareWorld(Fault::kNone);
    o.entry_lines = PlainLinesFromFileText(ReadPluginFile("vezuzaziz.ini"));
    const standin::RegTree tree = standin::ParseRegText(ReadWorldFile("registry.reg"));
    for (const standin::RegValue& v : tree.Find(kSettingsSection)->values) o.settings[v.name] = {v.type, v.data};
    return o;
  }();

  const Outcome got = RunAction(action, fault);

  // The action ended on its own, inside the plug-in, with the host's screen
  // as it found it.
  EXPECT_FALSE(got.hung) << "the action did not end";
  EXPECT_FALSE(got.escaped) << "an exception reached the host";
  EXPECT_EQ(got.open_screens, 0);
  EXPECT_EQ(got.wrong_thread_calls, 0);
  EXPECT_LT(got.host_calls, 200u) << "the action kept calling the host";
  EXPECT_FALSE(got.null_box_item);
  EXPECT_TRUE(got.leftovers.empty()) << "a failed save left " << got.leftovers.front();

  // The entry file: untouched, or changed exactly as the sound run changed it.
  const bool entries_changed_in_sound = sound.entry_lines != sound_before.entry_lines;
  bool entries_untouched = got.entry_lines == entries_before;
  if (fault == Fault::kEntryVanishes && !got.entry_file_exists) entries_untouched = true;
  const bool entries_as_sound = got.entry_file_exists && got.entry_lines == sound.entry_lines;
  EXPECT_TRUE(entries_untouched || entries_as_sound) << "the entry file is half changed";

  // The settings key: untouched, or every value the sound run changed
  // changed the same way (a value the sound run rewrote unchanged may read
  // either way, since a fault world may hold another value there).
  bool settings_changed_in_sound = false;
  bool settings_fully = true;
  for (const auto& [name, value] : sound.settings) {
    auto was = sound_before.settings.find(name);
    const bool changed = was == sound_before.settings.end() || was->second != value;
    settings_changed_in_sound = settings_changed_in_sound || changed;
    auto now = got.settings.find(name);
    auto before = settings_before.find(name);
    const bool as_sound = now != got.settings.end() && now->second == value;
    const bool as_before = before != settings_before.end() ? (now != got.settings.end() && now->second == before->second)
                                                           : now == got.settings.end();
    if (!(as_sound || (!changed && as_before))) settings_fully = false;
  }
  for (const auto& [name, value] : got.settings) {
    if (!sound.settings.count(name) && !settings_before.count(name)) settings_fully = false;
  }
  const bool settings_untouched = got.settings == settings_before;
  EXPECT_TRUE(settings_untouched || settings_fully) << "the settings key is half changed";

  // No connection is left up that the sound run would not have left.
  EXPECT_LE(got.connections, sound.connections);

  // What the user lost must be told: a change the sound run made that this
  // run did not make, or log lines it did not write.
  const bool entry_change_lost = entries_changed_in_sound && !entries_as_sound;
  const bool settings_change_lost = settings_changed_in_sound && !settings_fully;
  const bool log_lost = got.log.size() < sound.log.size();
  if (entry_change_lost || settings_change_lost || log_lost) {
    EXPECT_TRUE(got.warned) << "lost without a warning box: entries " << entry_change_lost << ", settings "
                            << settings_change_lost << ", log " << log_lost;
  }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<int, Fault>>& info) {
  return std::string(Actions()[static_cast<size_t>(std::get<0>(info.param))].name) + "_" +
         FaultName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(AllActions, FaultMatrixTest,
                         ::testing::Combine(::testing::Range(0, 15), ::testing::ValuesIn(kAllFaults)), CaseName);

}  // namespace
