// DialProcedure through the fake host and the simulated remote access
// service (ras.ini in a fresh world per test).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dial/dial_procedure.h"
#include "entries/entry_file.h"
#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "tests/fake_host.h"
#include "winapi/ras_sim.h"
#include "winapi/standin_console.h"

extern char** environ;

namespace {

class DialProcedureTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    StandinClearConsoleInput();
    WriteWorldFile("system.ini", "[system]\nplatform_id=2\n");
    PluginSettings& s = Settings();
    s.dial_prefix = "p";
    s.show_progress = true;
    s.logfilename = "vezuzaziz.log";
    s.startupfile = "startup.lst";
    WritePluginFile("vezuzaziz.ini", "");
    for (const char* sound : {"connect.wav", "failed.wav", "error.wav"}) WritePluginFile(sound, "RIFF");
  }
  void TearDown() override {
    RasSimStopAll();
    StandinClearConsoleInput();
    PluginTest::TearDown();
  }

  void AddEntry(const std::string& name, const std::string& numbers, const std::string& tries = "1",
                const std::string& interval = "0", const std::string& domain = "HOME",
                const std::string& callback = "") {
    AppendDialEntry(DialEntry{name, "alice", "secret", domain, numbers, interval, tries, callback});
  }

  // The numbers the service was asked to dial, in order.
  std::vector<std::string> Dialled() const {
    std::vector<std::string> out;
    for (const std::string& line : Journal()) {
      if (line.rfind("dial ", 0) != 0) continue;
      out.push_back(line.substr(5, line.find(" user=") - 5));
    }
    return out;
  }
  // Journal lines that start with `prefix`.
  std::vector<std::string> JournalWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : Journal()) {
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
  }
  // The file names of the sounds played, in order.
  std::vector<std::string> Sounds() const {
    std::vector<std::string> out;
    for (const std::string& line : JournalWith("sound ")) out.push_back(line.substr(line.rfind('\\') + 1));
    return out;
  }
  std::vector<HostCall> Boxes() const { return host->Calls("Message"); }
  std::vector<std::string> Log() const {
    return PluginFileExists("vezuzaziz.log") ? LogTexts("vezuzaziz.log") : std::vector<std::string>{};
  }
  size_t ActiveConnections() const {
    DWORD bytes = 0, count = 0;
    return RasEnumConnectionsA(nullptr, &bytes, &count) == 0 ? 0 : bytes / sizeof(RASCONNA);
  }
  // Every try's screen was saved once and restored once.
  void ExpectScreensBalanced() const {
    EXPECT_EQ(host->open_screens, 0);
    EXPECT_EQ(host->Calls("SaveScreen").size(), host->Calls("RestoreScreen").size());
    EXPECT_EQ(host->wrong_thread_calls, 0);
  }
};

using Items = std::vector<std::string>;

TEST_F(DialProcedureTest, NoTriesIsSilentAndAnUnknownNameIsTold) {
  AddEntry("Zero", "111", "0");
  AddEntry("Minus", "111", "-2");
  DialProcedure("Zero");
  DialProcedure("Minus");
  EXPECT_TRUE(host->calls.empty());
  EXPECT_TRUE(Log().empty());

  host->QueueMessage(0);
  DialProcedure("Nowhere");
  ASSERT_EQ(host->Ops(), "Message");
  EXPECT_EQ(Boxes()[0].flags, 1u);
  EXPECT_EQ(Boxes()[0].buttons, 1);
  EXPECT_EQ(Boxes()[0].items, (Items{"<5>", "<94>Nowhere", "<4>"}));
  EXPECT_EQ(Log(), Items{"<94>Nowhere"});
  EXPECT_TRUE(Dialled().empty());
}

TEST_F(DialProcedureTest, EveryTryFailsAndTheNumbersTakeTurns) {
  WriteWorldFile("ras.ini", "[*]\nstates=0,1,2\nerror=678\n");
  AddEntry("Office", "111,222", "3", "-5");
  DialProcedure("Office");

  EXPECT_EQ(Dialled(), (Items{"p111", "p222", "p111"}));
  const std::vector<HostCall> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 7u);
  const char* numbers[] = {"p111", "p222", "p111"};
  for (int i = 0; i < 3; ++i) {
    const HostCall& dial = boxes[2 * i];
    EXPECT_EQ(dial.flags, 0u);
    EXPECT_EQ(dial.buttons, 0);
    EXPECT_EQ(dial.items, (Items{"<9>", "<12>" + std::to_string(3 - i), numbers[i], "\x01", "<83>"}));
    const HostCall& error = boxes[2 * i + 1];
    EXPECT_EQ(error.flags, 1u);
    EXPECT_EQ(error.buttons, 0);
    EXPECT_EQ(error.items, (Items{"<5>", "There is no answer."}));
  }
  EXPECT_EQ(boxes[6].items, (Items{"<5>", "<11>", "<4>"}));
  EXPECT_EQ(boxes[6].buttons, 1);
  EXPECT_EQ(Sounds(), (Items{"error.wav", "error.wav", "error.wav", "failed.wav"}));
  EXPECT_EQ(Log(), (Items{"<9>111", "<26>There is no answer.", "<9>222", "<26>There is no answer.", "<9>111",
                          "<26>There is no answer.", "<11>"}));
  EXPECT_EQ(JournalWith("hangup ").size(), 3u);
  // The final box comes after the last try's screen is restored.
  EXPECT_EQ(host->calls.back().op, "Message");
  EXPECT_EQ(host->calls[host->calls.size() - 2].op, "RestoreScreen");
  ExpectScreensBalanced();
}

TEST_F(DialProcedureTest, WordsNotStartingWithADigitArePassedOver) {
  WriteWorldFile("ras.ini", "[*]\nstates=\nerror=676\n");
  AddEntry("Letters", "x12,222", "3");
  AddEntry("Commas", ",,222,", "2");
  AddEntry("Words", "ab,cd");
  DialProcedure("Letters");
  DialProcedure("Commas");
  DialProcedure("Words");
  // The word reached by skipping is taken without a second test.
  EXPECT_EQ(Dialled(), (Items{"p222", "p222", "p222", "p222", "p222", "pcd"}));
  ExpectScreensBalanced();
}

TEST_F(DialProcedureTest, AConnectionShowsBothAddressesAndStaysUp) {
  WriteWorldFile("ras.ini",
                 "[t555]\nstates=0,1,2,3\nend=connected\nlocal_ip=10.9.8.7\nremote_ip=10.9.8.1\n");
  Settings().dial_prefix = "t";
  AddEntry("Office", "555");
  host->QueueMessage(0);
  DialProcedure("Office");

  // The prefix is dialled and shown, but not logged.
  EXPECT_EQ(Dialled(), Items{"t555"});
  const std::vector<HostCall> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].items[2], "t555");
  EXPECT_EQ(boxes[1].flags, 0u);
  EXPECT_EQ(boxes[1].buttons, 1);
  EXPECT_EQ(boxes[1].items,
            (Items{"<8>", "<7>", "Local IP Address: 10.9.8.7", "Remote IP Address: 10.9.8.1", "<4>"}));
  EXPECT_EQ(Sounds(), Items{"connect.wav"});
  EXPECT_EQ(Log(), (Items{"<9>555", "<7>. Local IP Address: 10.9.8.7. Remote IP Address: 10.9.8.1"}));
  // Each state was drawn in row 0 before the outcome; the screen comes back last.
  ASSERT_EQ(host->Calls("Text").size(), 16u);
  EXPECT_EQ(host->Calls("Text")[14].text, "<51>");
  EXPECT_EQ(host->calls.back().op, "RestoreScreen");
  EXPECT_EQ(ActiveConnections(), 1u);
  ExpectScreensBalanced();
}

TEST_F(DialProcedureTest, ATooSlowConnectionIsHungUpAndTheNextNumberTried) {
  WriteWorldFile("system.ini", "[system]\nplatform_id=1\n");
  WriteWorldFile("ras.ini",
                 "[p111]\nstates=0\nend=connected\nspeed=26400\n"
                 "[p222]\nstates=0\nend=connected\nspeed=28800\n");
  Settings().minspeed = 28800;
  AddEntry("Office", "111,222", "3");
  host->QueueMessage(0);
  DialProcedure("Office");

  EXPECT_EQ(Dialled(), (Items{"p111", "p222"}));
  const std::vector<HostCall> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[1].items, (Items{"<5>", "<81>", "<82>"}));
  EXPECT_EQ(boxes[1].flags, 1u);
  EXPECT_EQ(boxes[1].buttons, 0);
  EXPECT_EQ(boxes[2].items[1], "<12>2");
  EXPECT_EQ(boxes[3].items[0], "<8>");
  EXPECT_EQ(Log(), (Items{"<9>111", "<80>26400 bps.", "<81>", "<9>222", "<80>28800 bps.",
                          "<7>. Local IP Address: 10.0.0.2. Remote IP Address: 10.0.0.1"}));
  EXPECT_EQ(Sounds(), (Items{"error.wav", "connect.wav"}));
  EXPECT_EQ(ActiveConnections(), 1u);
  ExpectScreensBalanced();
}

// The NT family has no published speed: the connection's statistics tell it,
// so that the minimum speed works on both families.
TEST_F(DialProcedureTest, OnTheNtFamilyTheStatisticsGiveTheSpeed) {
  WriteWorldFile("system.ini", "[system]\nplatform_id=2\n");
  WriteWorldFile("ras.ini",
                 "[p111]\nstates=0\nend=connected\nspeed=26400\n"
                 "[p222]\nstates=0\nend=connected\nspeed=33600\n");
  Settings().minspeed = 28800;
  AddEntry("Office", "111,222", "3");
  host->QueueMessage(0);
  DialProcedure("Office");
  EXPECT_EQ(Dialled(), (Items{"p111", "p222"}));
  EXPECT_EQ(Log(), (Items{"<9>111", "<80>26400 bps.", "<81>", "<9>222", "<80>33600 bps.",
                          "<7>. Local IP Address: 10.0.0.2. Remote IP Address: 10.0.0.1"}));
  EXPECT_EQ(ActiveConnections(), 1u);
  ExpectScreensBalanced();
}

TEST_F(DialProcedureTest, TooSlowOnTheLastTryEndsWithoutAFinalBox) {
  WriteWorldFile("system.ini", "[system]\nplatform_id=1\n");
  WriteWorldFile("ras.ini", "[*]\nstates=\nend=connected\nspeed=26400\n");
  Settings().minspeed = 28800;
  AddEntry("Office", "111,222", "2");
  DialProcedure("Office");

  EXPECT_EQ(Dialled(), (Items{"p111", "p222"}));
  const std::vector<HostCall> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[3].items, (Items{"<5>", "<81>", "<82>"}));
  EXPECT_EQ(Log().back(), "<81>");
  EXPECT_EQ(Sounds(), (Items{"error.wav", "error.wav"}));
  EXPECT_EQ(host->calls.back().op, "RestoreScreen");
  EXPECT_EQ(ActiveConnections(), 0u);
  ExpectScreensBalanced();
}

TEST_F(DialProcedureTest, AnUnknownSpeedIsNeverTooSlow) {
  // The NT family publishes no speed, and a system before Windows 2000 has
  // no connection statistics: ConnectionSpeed gives 0.
  WriteWorldFile("system.ini", "[system]\nplatform_id=2\n[libraries]\nrasapi32_lacks=RasGetConnectionStatistics\n");
  WriteWorldFile("ras.ini", "[*]\nstates=\nend=connected\nspeed=26400\n");
  Settings().minspeed = 28800;
  AddEntry("Office", "111", "2");
  host->QueueMessage(0);
  DialProcedure("Office");
  EXPECT_EQ(Dialled(), Items{"p111"});
  EXPECT_EQ(Boxes().back().items[0], "<8>");
  EXPECT_EQ(Log(), (Items{"<9>111", "<7>. Local IP Address: 10.0.0.2. Remote IP Address: 10.0.0.1"}));
  EXPECT_EQ(ActiveConnections(), 1u);
}

TEST_F(DialProcedureTest, Error629EndsTheDialOnlyWithI629On) {
  WriteWorldFile("ras.ini", "[*]\nstates=0\nerror=629\n");
  AddEntry("Office", "111", "5");
  Settings().i629 = true;
  DialProcedure("Office");
  EXPECT_EQ(Dialled().size(), 1u);
  Items texts;
  for (const HostCall& b : Boxes()) texts.push_back(b.items[1]);
  EXPECT_EQ(texts, (Items{"<12>5", "The port was disconnected by the remote machine.", "<11>"}));

  host->calls.clear();
  Settings().i629 = false;
  AddEntry("Twice", "111", "2");
  DialProcedure("Twice");
  EXPECT_EQ(Dialled().size(), 3u);
  EXPECT_EQ(Boxes().size(), 5u);
}

TEST_F(DialProcedureTest, ARefusedDialFailsWithItsCode) {
  WriteWorldFile("ras.ini", "[p111]\nrefuse=680\n[p222]\nrefuse=12345\n");
  AddEntry("Office", "111,222", "2");
  DialProcedure("Office");
  Items texts;
  for (const HostCall& b : Boxes()) texts.push_back(b.items[1]);
  EXPECT_EQ(texts, (Items{"<12>2", "There is no dial tone.", "<12>1", "Remote access error 12345", "<11>"}));
  EXPECT_EQ(Log()[3], "<26>Remote access error 12345");
  ExpectScreensBalanced();
}

TEST_F(DialProcedureTest, EscDuringTheDialHangsUp) {
  WriteWorldFile("ras.ini", "[p111]\nstates=0,1,2,3\nesc_at_state=2\nend=connected\n");
  AddEntry("Office", "111", "3");
  host->QueueMessage(0);
  DialProcedure("Office");

  const std::vector<HostCall> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].items, (Items{"<5>", "<74>", "<4>"}));
  EXPECT_EQ(boxes[1].flags, 1u);
  EXPECT_EQ(boxes[1].buttons, 1);
  EXPECT_EQ(Log(), (Items{"<9>111", "<37>"}));
  EXPECT_EQ(JournalWith("hangup ").size(), 1u);
  EXPECT_EQ(ActiveConnections(), 0u);
  EXPECT_TRUE(Sounds().empty());
  // The key-down was taken; only its key-up is left for the host.
  INPUT_RECORD left[4];
  DWORD count = 0;
  PeekConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), left, 4, &count);
  ASSERT_EQ(count, 1u);
  EXPECT_FALSE(left[0].Event.KeyEvent.bKeyDown);
  EXPECT_EQ(host->calls.back().op, "RestoreScreen");
  ExpectScreensBalanced();
}

// The error box of a failed try presses Esc: the key waits through the pause
// and interrupts the next try as soon as it has been dialled.
HostMessageFn g_fake_message = nullptr;
int HOSTAPI PressEscOnErrorBox(int id, unsigned flags, const char* help, const char* const* items, int count,
                               int buttons) {
  if (flags == 1 && count == 2 && buttons == 0) StandinPushKey(VK_ESCAPE, true);
  return g_fake_message(id, flags, help, items, count, buttons);
}

TEST_F(DialProcedureTest, EscQueuedDuringThePauseInterruptsTheNextTry) {
  WriteWorldFile("ras.ini", "[p111]\nstates=0\nerror=678\n[p222]\nstates=0,1,2\npause_ms=200\nend=connected\n");
  AddEntry("Office", "111,222", "3");
  g_fake_message = host->record.Message;
  host->record.Message = PressEscOnErrorBox;
  SetHostRecord(&host->record);
  host->QueueMessage(0);
  DialProcedure("Office");

  EXPECT_EQ(Dialled(), (Items{"p111", "p222"}));
  EXPECT_EQ(Log(), (Items{"<9>111", "<26>There is no answer.", "<9>222", "<37>"}));
  EXPECT_EQ(Boxes().back().items, (Items{"<5>", "<74>", "<4>"}));
  EXPECT_EQ(JournalWith("hangup ").size(), 2u);
  EXPECT_EQ(ActiveConnections(), 0u);
  ExpectScreensBalanced();
}

TEST_F(DialProcedureTest, StatesAreShownAndLoggedAsTheSettingsSay) {
  WriteWorldFile("ras.ini", "[*]\nstates=3,19\nend=connected\n");
  AddEntry("Office", "111");
  Settings().debug = true;
  host->QueueMessage(0);
  DialProcedure("Office");
  std::vector<std::string> drawn;
  for (const HostCall& c : host->Calls("Text")) drawn.push_back(c.text_null ? "(null)" : c.text);
  EXPECT_EQ(drawn, (Items{std::string(28, ' '), "(null)", "<51>", "(null)", std::string(28, ' '), "(null)",
                          "Connection state #19", "(null)"}));
  EXPECT_EQ(Log()[1], "<85><51>");
  EXPECT_EQ(Log()[2], "<85>Connection state #19");

  // show_progress off silences debug as well.
  std::filesystem::remove(plugin_dir + "/vezuzaziz.log");
  host->calls.clear();
  Settings().show_progress = false;
  host->QueueMessage(0);
  DialProcedure("Office");
  EXPECT_TRUE(host->Calls("Text").empty());
  EXPECT_EQ(Log().size(), 2u);  // the dial and the connection
}

TEST_F(DialProcedureTest, AnEntryWithoutANumberIsNotDialled) {
  AddEntry("Empty", ",,", "3");
  host->QueueMessage(0);
  DialProcedure("Empty");
  ASSERT_EQ(host->Ops(), "Message");
  EXPECT_EQ(Boxes()[0].items, (Items{"<5>", kNoNumberWarning, "<4>"}));
  EXPECT_EQ(Boxes()[0].flags, 1u);
  EXPECT_EQ(Log(), Items{kNoNumberWarning});
  EXPECT_TRUE(Dialled().empty());
}

TEST_F(DialProcedureTest, ValuesLongerThanTheirFieldsAreCut) {
  WriteWorldFile("ras.ini", "[*]\nstates=\nerror=678\n");
  const std::string digits(200, '7');
  AddEntry("Long", digits, "1", "0", std::string(40, 'D'), std::string(200, '5'));
  DialProcedure("Long");
  const std::string cut = "p" + digits.substr(0, 127);
  EXPECT_EQ(Dialled(), Items{cut});
  EXPECT_EQ(Boxes()[0].items[2], cut);
  EXPECT_EQ(Log()[0], "<9>" + digits);
}

TEST_F(DialProcedureTest, AFailingLogEndsTheDialWithTheScreenRestored) {
  // The third log write fails: the dial's own line and the first state's
  // line go through, the second state's does not, while the dial is under way.
  WriteWorldFile("system.ini", "[system]\nplatform_id=2\n[faults]\nfail_write=3\nfail_write_path=vezuzaziz.log\n");
  WriteWorldFile("ras.ini", "[*]\nstates=0,1,2,3\npause_ms=20\nend=connected\n");
  AddEntry("Office", "111");
  Settings().debug = true;
  EXPECT_THROW(DialProcedure("Office"), IoError);
  EXPECT_EQ(JournalWith("hangup ").size(), 1u);
  EXPECT_EQ(ActiveConnections(), 0u);
  ExpectScreensBalanced();
}

// A real process that owns the window "Mail Reader"; ended by the StartupList.
// The simulated service keeps a connected dial's finished thread until the
// hang-up; under ThreadSanitizer the child that WinExec forks would report
// that thread and fail. The connected box lets the service let go of it
// (the connection itself stays in the world).
int HOSTAPI ReleaseServiceThreadsOnConnectedBox(int id, unsigned flags, const char* help, const char* const* items,
                                                int count, int buttons) {
  if (count == 5 && buttons == 1) RasSimStopAll();
  return g_fake_message(id, flags, help, items, count, buttons);
}

class DialStartupListTest : public DialProcedureTest {
 protected:
  void SetUp() override {
    DialProcedureTest::SetUp();
    g_fake_message = host->record.Message;
    host->record.Message = ReleaseServiceThreadsOnConnectedBox;
    SetHostRecord(&host->record);
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    DialProcedureTest::TearDown();
  }
  pid_t StartSleeper() {
    char sh[] = "/bin/sh";
    char dash_c[] = "-c";
    char script[] = "exec sleep 60";
    char* argv[] = {sh, dash_c, script, nullptr};
    EXPECT_EQ(posix_spawn(&child_, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    return child_;
  }
  pid_t child_ = 0;
};

TEST_F(DialStartupListTest, ClosesAWindowAndStartsAProgram) {
  const pid_t sleeper = StartSleeper();
  ASSERT_GT(sleeper, 0);
  WriteWorldFile("windows.ini", "[windows]\nMail Reader=" + std::to_string(sleeper) + "\n");
  WriteWorldFile("ras.ini", "[*]\nstates=\nend=connected\n");
  const std::string flag = plugin_dir + "/started.flag";
  const std::string command = "touch " + flag;
  WritePluginFile("startup.lst", "#Not Open Anywhere\r\n#Mail Reader\r\n" + command + "\r\n");
  AddEntry("Office", "111");
  host->QueueMessage(0);
  DialProcedure("Office");

  // The window's process was ended for real.
  int status = 0;
  ASSERT_EQ(waitpid(sleeper, &status, 0), sleeper);
  child_ = 0;
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(JournalWith("terminate "), Items{"terminate " + std::to_string(sleeper)});
  // The command was started as a real process.
  EXPECT_EQ(JournalWith("winexec "), Items{"winexec " + command});
  for (int i = 0; i < 500 && !std::filesystem::exists(flag); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(std::filesystem::exists(flag));

  // A window that is not open gets no box and no log line.
  const std::vector<HostCall> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[2].items, (Items{"<76>", "Mail Reader"}));
  EXPECT_EQ(boxes[2].buttons, 0);
  EXPECT_EQ(boxes[3].items, (Items{"<44>", command}));
  const Items log = Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[2], "<76>Mail Reader");
  EXPECT_EQ(log[3], "<44>" + command);
  EXPECT_EQ(host->calls.back().op, "RestoreScreen");
  EXPECT_EQ(ActiveConnections(), 1u);
  ExpectScreensBalanced();
}

// Esc pressed during the first action's pause of a StartupList of 10,000
// commands: that action and all the others are skipped, and the log says so.
// A watchdog ends the test, rather than the hours the whole list would take,
// should Esc not be heeded.
int HOSTAPI PressEscOnFirstStartupBox(int id, unsigned flags, const char* help, const char* const* items, int count,
                                      int buttons) {
  if (count == 2 && std::string(items[0]) == "<44>") StandinPushKey(VK_ESCAPE, true);
  return ReleaseServiceThreadsOnConnectedBox(id, flags, help, items, count, buttons);
}

TEST_F(DialStartupListTest, EscSkipsWhatIsLeftOfTheList) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (!finished.wait_for(lock, std::chrono::minutes(2), [&] { return done; })) {
      std::fprintf(stderr, "Esc did not stop the StartupList\n");
      std::abort();
    }
  });
  WriteWorldFile("ras.ini", "[*]\nstates=\nend=connected\n");
  std::string list;
  for (int i = 0; i < 10000; ++i) list += "touch " + plugin_dir + "/started" + std::to_string(i) + "\n";
  WritePluginFile("startup.lst", list);
  AddEntry("Office", "111");
  host->record.Message = PressEscOnFirstStartupBox;
  SetHostRecord(&host->record);
  host->QueueMessage(0);
  StandinPushKey('A', true);  // typed before the list: set aside, then taken with the Esc
  DialProcedure("Office");
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  finished.notify_all();
  watchdog.join();

  EXPECT_TRUE(JournalWith("winexec ").empty());
  const std::vector<HostCall> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 3u);  // dial, connected, the first action's
  EXPECT_EQ(boxes[2].items[0], "<44>");
  EXPECT_EQ(Log().back(), "<95>");
  EXPECT_EQ(Log().size(), 3u);
  INPUT_RECORD left[4];
  DWORD count = 0;
  PeekConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), left, 4, &count);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(host->calls.back().op, "RestoreScreen");
  EXPECT_EQ(ActiveConnections(), 1u);
  ExpectScreensBalanced();
}

TEST_F(DialStartupListTest, ALogFailureKeepsTheConnection) {
  // Writes to the log: the dial, the connection, then the startup action.
  WriteWorldFile("system.ini", "[system]\nplatform_id=2\n[faults]\nfail_write=3\nfail_write_path=vezuzaziz.log\n");
  WriteWorldFile("ras.ini", "[*]\nstates=\nend=connected\n");
  WritePluginFile("startup.lst", "true\n");
  AddEntry("Office", "111");
  host->QueueMessage(0);
  EXPECT_THROW(DialProcedure("Office"), IoError);
  EXPECT_EQ(ActiveConnections(), 1u);
  ExpectScreensBalanced();
}

}  // namespace
