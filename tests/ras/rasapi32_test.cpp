// Conformance tests of the simulated remote access service: only the
// public remote access calls, the world files and the stand-in's test hooks.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <set>
#include <vector>

#include "tests/ras/ras_world.h"
#include "winapi/ras_sim.h"
#include "winapi/standin_control.h"

namespace {

constexpr DWORD kBufferTooSmall = 603;
constexpr DWORD kCannotOpenPhonebook = 621;
constexpr DWORD kCannotFindEntry = 623;
constexpr DWORD kInvalidSize = 632;
constexpr DWORD kProjectionNotComplete = 730;

std::vector<RASCONNA> Connections(DWORD* rc = nullptr, size_t capacity = 200) {
  std::vector<RASCONNA> list(capacity);
  list[0].dwSize = sizeof(RASCONNA);
  DWORD bytes = static_cast<DWORD>(list.size() * sizeof(RASCONNA));
  DWORD count = 0;
  const DWORD result = RasEnumConnectionsA(list.data(), &bytes, &count);
  if (rc != nullptr) *rc = result;
  list.resize(result == 0 ? count : 0);
  return list;
}

std::vector<std::pair<RASCONNSTATE, DWORD>> States(const std::vector<Report>& reports) {
  std::vector<std::pair<RASCONNSTATE, DWORD>> out;
  for (const Report& r : reports) out.emplace_back(r.state, r.error);
  return out;
}

using StateList = std::vector<std::pair<RASCONNSTATE, DWORD>>;

class RasServiceTest : public RasWorldTest {
 protected:
  HRASCONN Dial(const std::string& number, DWORD* rc = nullptr) {
    RASDIALPARAMSA params = NumberParams(number, "bob");
    RASDIALEXTENSIONS ext{};
    ext.dwSize = sizeof ext;
    ext.dwfOptions = RDEOPT_UsePrefixSuffix | RDEOPT_IgnoreModemSpeaker | RDEOPT_SetModemSpeaker;
    HRASCONN handle = nullptr;
    const DWORD result =
        RasDialA(&ext, nullptr, &params, 0, reinterpret_cast<LPVOID>(&RecordingNotifier), &handle);
    if (rc != nullptr) *rc = result;
    return handle;
  }
  // Dials a phone-book entry without a notifier: returns when it has ended.
  DWORD DialEntry(const std::string& entry, HRASCONN* handle, LPCSTR phonebook = nullptr) {
    RASDIALPARAMSA params = EntryParams(entry);
    *handle = nullptr;
    return RasDialA(nullptr, phonebook, &params, 0, nullptr, handle);
  }
};

TEST_F(RasServiceTest, ConnectingDialReportsEveryStateInOrderFromAnotherThread) {
  WriteWorldFile("ras.ini",
                 "[t222]\nstates=0,1,2,3,4,5,14,18\nend=connected\nspeed=26400\n"
                 "local_ip=10.1.2.3\nremote_ip=10.1.2.1\n");
  DWORD rc = 99;
  HRASCONN handle = Dial("t222", &rc);
  EXPECT_EQ(rc, 0u);
  ASSERT_NE(handle, nullptr);

  const std::vector<Report> reports = Reports::Get().WaitForEnd();
  EXPECT_EQ(States(reports), (StateList{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {14, 0}, {18, 0},
                                        {RASCS_Connected, 0}}));
  for (const Report& r : reports) EXPECT_NE(r.thread, std::this_thread::get_id());
  EXPECT_TRUE(Journaled("dial t222 user=bob"));

  // The connection is listed, with its addresses, until it is hung up.
  const std::vector<RASCONNA> list = Connections();
  ASSERT_EQ(list.size(), 1u);
  const HRASCONN listed = list[0].hrasconn;  // a copy: the packed field is not aligned
  EXPECT_EQ(listed, handle);
  EXPECT_STREQ(list[0].szEntryName, ".t222");
  RASPPPIPA ip{};
  ip.dwSize = sizeof ip;
  DWORD size = sizeof ip;
  ASSERT_EQ(RasGetProjectionInfoA(handle, RASP_PppIp, &ip, &size), 0u);
  EXPECT_STREQ(ip.szIpAddress, "10.1.2.3");
  EXPECT_STREQ(ip.szServerIpAddress, "10.1.2.1");

  EXPECT_EQ(RasHangUpA(handle), 0u);
  EXPECT_TRUE(Connections().empty());
  EXPECT_TRUE(Journaled("hangup " + std::to_string(reinterpret_cast<uintptr_t>(handle))));
  EXPECT_EQ(RasHangUpA(handle), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(RasServiceTest, FailingDialsEndWithTheirErrorAtTheirState) {
  WriteWorldFile("ras.ini",
                 "[t111]\nstates=0,1,2,3\nend=error\nerror=676\nerror_state=1\n"
                 "[*]\nstates=0\nerror=691\n");
  HRASCONN busy = Dial("t111");
  EXPECT_EQ(States(Reports::Get().WaitForEnd()), (StateList{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {1, 676}}));
  // A failed dial keeps its handle until it is hung up, and makes no connection.
  RASPPPIPA ip{};
  ip.dwSize = sizeof ip;
  DWORD size = sizeof ip;
  EXPECT_EQ(RasGetProjectionInfoA(busy, RASP_PppIp, &ip, &size), kProjectionNotComplete);
  EXPECT_TRUE(Connections().empty());
  EXPECT_EQ(RasHangUpA(busy), 0u);

  // A number without a section of its own takes the [*] section; without
  // that, nobody answers.
  Reports::Get().Clear();
  Dial("t999");
  EXPECT_EQ(States(Reports::Get().WaitForEnd()), (StateList{{0, 0}, {0, 691}}));
  WriteWorldFile("ras.ini", "");
  Reports::Get().Clear();
  Dial("t999");
  EXPECT_EQ(States(Reports::Get().WaitForEnd()), (StateList{{0, 0}, {1, 0}, {2, 0}, {2, 678}}));
}

// The blanks, dashes, brackets and dots of a dial string are not dialled:
// "p555-0400" reaches the section [p5550400], and a section written with
// them answers the plain number. The journal keeps the string as dialled.
TEST_F(RasServiceTest, DialStringsFindTheirSectionAsAModemDialsThem) {
  WriteWorldFile("ras.ini",
                 "[p5550400]\nstates=0\nend=connected\n"
                 "[t(555) 01.00]\nstates=0\nerror=676\n"
                 "[phonebook]\ncreate_name=x\n"
                 "[*]\nstates=0\nerror=691\n");
  HRASCONN handle = Dial("p555-0400");
  EXPECT_EQ(States(Reports::Get().WaitForEnd()), (StateList{{0, 0}, {RASCS_Connected, 0}}));
  EXPECT_TRUE(Journaled("dial p555-0400 user=bob"));
  EXPECT_EQ(RasHangUpA(handle), 0u);

  for (const char* number : {"t5550100", "T 555-0100"}) {
    Reports::Get().Clear();
    handle = Dial(number);
    EXPECT_EQ(States(Reports::Get().WaitForEnd()), (StateList{{0, 0}, {0, 676}})) << number;
    RasHangUpA(handle);
  }
  // Other digits, and the words of the phone book's own section, take [*].
  for (const char* number : {"p555-0401", "phone book"}) {
    Reports::Get().Clear();
    handle = Dial(number);
    EXPECT_EQ(States(Reports::Get().WaitForEnd()), (StateList{{0, 0}, {0, 691}})) << number;
    RasHangUpA(handle);
  }
}

TEST_F(RasServiceTest, EscapeArrivesJustBeforeItsState) {
  WriteWorldFile("ras.ini", "[t222]\nstates=0,1,2,3\nesc_at_state=2\nerror=678\n");
  Dial("t222");
  const std::vector<Report> reports = Reports::Get().WaitForEnd();
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_FALSE(reports[0].esc_waiting);
  EXPECT_FALSE(reports[1].esc_waiting);
  EXPECT_TRUE(reports[2].esc_waiting);
  // Key-down and key-up, once.
  INPUT_RECORD records[8];
  DWORD read = 0;
  ASSERT_TRUE(ReadConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), records, 8, &read));
  ASSERT_EQ(read, 2u);
  EXPECT_TRUE(records[0].Event.KeyEvent.bKeyDown);
  EXPECT_FALSE(records[1].Event.KeyEvent.bKeyDown);
  EXPECT_EQ(records[1].Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
}

TEST_F(RasServiceTest, RefusedAndSilentDialsNeverCallBack) {
  WriteWorldFile("ras.ini", "[t1]\nrefuse=1\n[t2]\nsilent=1\nstates=0,1\n");
  DWORD rc = 0;
  HRASCONN refused = Dial("t1", &rc);
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(refused, nullptr);
  EXPECT_TRUE(Journaled("dial t1 user=bob"));

  HRASCONN silent = Dial("t2", &rc);
  EXPECT_EQ(rc, 0u);
  ASSERT_NE(silent, nullptr);
  EXPECT_EQ(RasHangUpA(silent), 0u);
  RasSimStopAll();  // every dial has ended: nothing can report any more
  EXPECT_TRUE(Reports::Get().Snapshot().empty());
}

TEST_F(RasServiceTest, HangUpEndsTheNotificationsOfADialInProgress) {
  WriteWorldFile("ras.ini", "[t222]\nstates=0,1,2\npause_ms=60000\nend=connected\n");
  HRASCONN handle = Dial("t222");
  ASSERT_NE(handle, nullptr);
  // Returns at once although the dial waits a minute before its first report.
  EXPECT_EQ(RasHangUpA(handle), 0u);
  EXPECT_TRUE(Reports::Get().Snapshot().empty());
  EXPECT_TRUE(Connections().empty());
}

// Where RasDialA writes the handle; the service fills it before any report.
std::atomic<HRASCONN*> g_own_handle{nullptr};
std::atomic<DWORD> g_own_hangup{999};

// Hangs its own dial up from within the notifier, at state 1.
void WINAPI HangingUpNotifier(UINT message, RASCONNSTATE state, DWORD error) {
  RecordingNotifier(message, state, error);
  if (state == 1) g_own_hangup = RasHangUpA(*g_own_handle.load());
}

TEST_F(RasServiceTest, NotifierMayHangUpItsOwnDial) {
  WriteWorldFile("ras.ini", "[t222]\nstates=0,1,2\nend=connected\n");
  RASDIALPARAMSA params = NumberParams("t222", "bob");
  HRASCONN handle = nullptr;
  g_own_handle = &handle;
  g_own_hangup = 999;
  ASSERT_EQ(RasDialA(nullptr, nullptr, &params, 0, reinterpret_cast<LPVOID>(&HangingUpNotifier), &handle), 0u);
  for (int i = 0; i < 4000 && g_own_hangup.load() == 999; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(g_own_hangup.load(), 0u);
  EXPECT_TRUE(Journaled("hangup " + std::to_string(reinterpret_cast<uintptr_t>(handle))));
  EXPECT_TRUE(Connections().empty());
}

TEST_F(RasServiceTest, AFreshWorldEndsTheDialsOfTheOldOne) {
  WriteWorldFile("ras.ini", "[t222]\nstates=0\npause_ms=60000\nend=connected\n");
  HRASCONN old_dial = Dial("t222");
  ASSERT_NE(old_dial, nullptr);
  // Reading the same world again leaves the dial alone.
  StandinReloadWorld();
  EXPECT_EQ(RasHangUpA(old_dial), 0u);

  HRASCONN other = Dial("t222");
  const std::string first_world = world_dir;
  std::filesystem::create_directories(first_world + "/next");
  world_dir = first_world + "/next";
  setenv("WINAPI_WORLD", world_dir.c_str(), 1);
  StandinReloadWorld();  // a new world: the old dial is gone and never reports
  EXPECT_EQ(RasHangUpA(other), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(Reports::Get().Snapshot().empty());
  world_dir = first_world;  // TearDown removes both
}

TEST_F(RasServiceTest, MisbehavingServiceReportsAfterHangUpButConnectsNothing) {
  WriteWorldFile("ras.ini",
                 "[t222]\nstates=0,1\npause_ms=5\nend=connected\ncallback_after_hangup=1\n"
                 "[t333]\nstates=0\nend=connected\nerror_after_connected=629\n");
  HRASCONN handle = Dial("t222");
  EXPECT_EQ(RasHangUpA(handle), 0u);
  EXPECT_EQ(States(Reports::Get().WaitForEnd()), (StateList{{0, 0}, {1, 0}, {RASCS_Connected, 0}}));
  EXPECT_TRUE(Connections().empty());

  Reports::Get().Clear();
  HRASCONN dropped = Dial("t333");
  EXPECT_EQ(States(Reports::Get().WaitForCount(3)),
            (StateList{{0, 0}, {RASCS_Connected, 0}, {RASCS_Disconnected, 629}}));
  EXPECT_EQ(RasHangUpA(dropped), 0u);
}

TEST_F(RasServiceTest, ConnectionsOutliveTheProcessThatMadeThem) {
  WriteWorldFile("rasphone.pbk", "[Office]\nPhoneNumber=t222\n");
  WriteWorldFile("ras.ini", "[t222]\nend=connected\nlocal_ip=10.9.9.2\nremote_ip=10.9.9.1\n");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HRASCONN handle = nullptr;
    _exit(static_cast<int>(DialEntry("Office", &handle)));
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);

  const std::vector<RASCONNA> list = Connections();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_STREQ(list[0].szEntryName, "Office");
  RASPPPIPA ip{};
  ip.dwSize = sizeof ip;
  DWORD size = sizeof ip;
  const HRASCONN handle = list[0].hrasconn;
  ASSERT_EQ(RasGetProjectionInfoA(handle, RASP_PppIp, &ip, &size), 0u);
  EXPECT_STREQ(ip.szServerIpAddress, "10.9.9.1");
  EXPECT_EQ(RasHangUpA(handle), 0u);
  EXPECT_TRUE(Connections().empty());

  // This process keeps the list it wrote last; another process's dial since
  // is listed all the same.
  const pid_t second = fork();
  ASSERT_GE(second, 0);
  if (second == 0) {
    HRASCONN made = nullptr;
    _exit(static_cast<int>(DialEntry("Office", &made)));
  }
  ASSERT_EQ(waitpid(second, &status, 0), second);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  const std::vector<RASCONNA> after = Connections();
  ASSERT_EQ(after.size(), 1u);
  const HRASCONN made = after[0].hrasconn;
  EXPECT_EQ(RasHangUpA(made), 0u);
  EXPECT_EQ(ReadWorldFile("connections.ini"), "[counter]\nnext=3\n");
}

class RasEnumerationTest : public RasServiceTest, public ::testing::WithParamInterface<int> {};

TEST_P(RasEnumerationTest, ListsAndHangsUpEveryConnection) {
  const int wanted = GetParam();
  WriteWorldFile("rasphone.pbk", "[Office]\nPhoneNumber=t222\n");
  WriteWorldFile("ras.ini", "[t222]\nstates=\nend=connected\n");
  std::set<HRASCONN> made;
  for (int i = 0; i < wanted; ++i) {
    HRASCONN handle = nullptr;
    ASSERT_EQ(DialEntry("Office", &handle), 0u);
    made.insert(handle);
  }
  ASSERT_EQ(made.size(), static_cast<size_t>(wanted));

  // The plug-in's fixed list of 100 records.
  std::vector<RASCONNA> hundred(100);
  hundred[0].dwSize = sizeof(RASCONNA);
  DWORD bytes = static_cast<DWORD>(hundred.size() * sizeof(RASCONNA));
  DWORD count = 12345;
  const DWORD rc = RasEnumConnectionsA(hundred.data(), &bytes, &count);
  if (wanted > 100) {
    EXPECT_EQ(rc, kBufferTooSmall);
    EXPECT_EQ(bytes, wanted * sizeof(RASCONNA));
  } else {
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(count, static_cast<DWORD>(wanted));
  }

  const std::vector<RASCONNA> list = Connections();
  ASSERT_EQ(list.size(), static_cast<size_t>(wanted));
  std::set<HRASCONN> listed;
  for (const RASCONNA& c : list) {
    EXPECT_EQ(c.dwSize, sizeof(RASCONNA));
    const HRASCONN h = c.hrasconn;  // a copy: the packed field is not aligned
    listed.insert(h);
  }
  EXPECT_EQ(listed, made);
  for (HRASCONN h : listed) EXPECT_EQ(RasHangUpA(h), 0u);
  EXPECT_TRUE(Connections().empty());
}

INSTANTIATE_TEST_SUITE_P(Counts, RasEnumerationTest, ::testing::Values(0, 3, 150));

TEST_F(RasServiceTest, ProjectionOfAConnection) {
  WriteWorldFile("rasphone.pbk", "[Office]\nPhoneNumber=t222\n");
  WriteWorldFile("ras.ini", "[t222]\nend=connected\n");
  HRASCONN handle = nullptr;
  ASSERT_EQ(DialEntry("Office", &handle), 0u);

  RASPPPIPA ip;
  std::memset(&ip, 0x5A, sizeof ip);
  ip.dwSize = sizeof ip;
  DWORD size = 20;
  EXPECT_EQ(RasGetProjectionInfoA(handle, RASP_PppIp, &ip, &size), kBufferTooSmall);
  EXPECT_EQ(size, sizeof(RASPPPIPA));
  EXPECT_EQ(ip.szIpAddress[0], 0x5A);
  EXPECT_EQ(RasGetProjectionInfoA(reinterpret_cast<HRASCONN>(uintptr_t{77777}), RASP_PppIp, &ip, &size),
            static_cast<DWORD>(ERROR_INVALID_HANDLE));
  ASSERT_EQ(RasGetProjectionInfoA(handle, RASP_PppIp, &ip, &size), 0u);
  EXPECT_STREQ(ip.szIpAddress, "10.0.0.2");
  EXPECT_STREQ(ip.szServerIpAddress, "10.0.0.1");
  EXPECT_EQ(ip.dwError, 0u);
}

TEST_F(RasServiceTest, ErrorTextsAreTheServicesOwn) {
  char text[256];
  const std::pair<UINT, const char*> known[] = {
      {629, "The port was disconnected by the remote machine."},
      {676, "The line is busy."},
      {678, "There is no answer."},
      {680, "There is no dial tone."},
      {691, "Access denied because username and/or password is invalid on the domain."},
  };
  for (const auto& [code, expected] : known) {
    ASSERT_EQ(RasGetErrorStringA(code, text, sizeof text), 0u) << code;
    EXPECT_STREQ(text, expected);
  }
  for (UINT code = 600; code <= 681; ++code) {
    EXPECT_EQ(RasGetErrorStringA(code, text, sizeof text), 0u) << code;
  }

  // Unknown codes and short buffers fail, leaving the buffer as it was.
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(RasGetErrorStringA(12345, text, sizeof text), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RasGetErrorStringA(0, text, sizeof text), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RasGetErrorStringA(678, text, 19), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(text[0], 'x');
  EXPECT_EQ(RasGetErrorStringA(678, text, 20), 0u);  // "There is no answer." and its zero
  EXPECT_STREQ(text, "There is no answer.");
  EXPECT_EQ(text[20], 'x');
}

class PhonebookTest : public RasServiceTest {
 protected:
  void SetUp() override {
    RasServiceTest::SetUp();
    WriteWorldFile("rasphone.pbk",
                   "[Alpha]\nPhoneNumber=t111\n[Beta]\nPhoneNumber=t222\n[Gamma]\nPhoneNumber=t333\n");
  }
  std::vector<std::string> Entries(LPCSTR phonebook = nullptr, DWORD* rc = nullptr) {
    std::vector<RASENTRYNAMEA> buffer(100);
    buffer[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(RASENTRYNAMEA));
    DWORD count = 0;
    const DWORD result = RasEnumEntriesA(nullptr, phonebook, buffer.data(), &bytes, &count);
    if (rc != nullptr) *rc = result;
    std::vector<std::string> names;
    for (DWORD i = 0; result == 0 && i < count; ++i) names.emplace_back(buffer[i].szEntryName);
    return names;
  }
};

TEST_F(PhonebookTest, EntriesComeInFileOrder) {
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));

  std::vector<RASENTRYNAMEA> two(2);
  two[0].dwSize = sizeof(RASENTRYNAMEA);
  DWORD bytes = 2 * sizeof(RASENTRYNAMEA);
  DWORD count = 0;
  EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, two.data(), &bytes, &count), kBufferTooSmall);
  EXPECT_EQ(bytes, 3 * sizeof(RASENTRYNAMEA));
  two[0].dwSize = 100;
  bytes = 2 * sizeof(RASENTRYNAMEA);
  EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, two.data(), &bytes, &count), kInvalidSize);
}

TEST_F(PhonebookTest, AnotherPhonebookFileIsUsedWhenNamed) {
  WriteWorldFile("other.pbk", "[Remote]\nPhoneNumber=t444\n");
  const std::string other = "Z:" + world_dir + "/other.pbk";
  EXPECT_EQ(Entries(other.c_str()), (std::vector<std::string>{"Remote"}));
  DWORD rc = 0;
  const std::string missing = "Z:" + world_dir + "/missing.pbk";
  Entries(missing.c_str(), &rc);
  EXPECT_EQ(rc, kCannotOpenPhonebook);
  HRASCONN handle = nullptr;
  WriteWorldFile("ras.ini", "[t444]\nend=connected\n");
  EXPECT_EQ(DialEntry("Remote", &handle, other.c_str()), 0u);
  EXPECT_TRUE(Journaled("dial t444 user="));
}

TEST_F(PhonebookTest, DeleteIsFoundAtRunTime) {
  HMODULE rasapi = LoadLibraryA("rasapi32.dll");
  ASSERT_NE(rasapi, nullptr);
  auto remove = reinterpret_cast<RASDELETEENTRYFUNC>(
      reinterpret_cast<void (*)()>(GetProcAddress(rasapi, "RasDeleteEntryA")));
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(remove(nullptr, "Beta"), 0u);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Alpha", "Gamma"}));
  EXPECT_TRUE(Journaled("phonebook delete Beta"));
  EXPECT_EQ(remove(nullptr, "Beta"), kCannotFindEntry);
  FreeLibrary(rasapi);
}

TEST_F(PhonebookTest, DialogsJournalAndAddWhatTheScenarioSays) {
  EXPECT_EQ(RasCreatePhonebookEntryA(nullptr, nullptr), 0u);
  EXPECT_TRUE(Journaled("phonebook create"));
  EXPECT_EQ(Entries().size(), 3u);

  WriteWorldFile("ras.ini", "[phonebook]\ncreate_name=Delta\ncreate_number=t555\nedit_number=t666\n");
  EXPECT_EQ(RasCreatePhonebookEntryA(nullptr, nullptr), 0u);
  EXPECT_TRUE(Journaled("phonebook create Delta"));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Alpha", "Beta", "Gamma", "Delta"}));

  EXPECT_EQ(RasEditPhonebookEntryA(nullptr, nullptr, "Alpha"), 0u);
  EXPECT_TRUE(Journaled("phonebook edit Alpha"));
  HRASCONN handle = nullptr;
  DialEntry("Alpha", &handle);
  EXPECT_TRUE(Journaled("dial t666 user="));
  EXPECT_EQ(RasEditPhonebookEntryA(nullptr, nullptr, "Nobody"), kCannotFindEntry);
}

TEST_F(PhonebookTest, SavedCredentialsOfAnEntry) {
  WriteWorldFile("ras.ini", "[credentials:Alpha]\nuser=alice\npassword=s3cret\n[credentials:Beta]\nuser=bob\n");
  RASDIALPARAMSA p = EntryParams("Alpha");
  BOOL saved = FALSE;
  ASSERT_EQ(RasGetEntryDialParamsA(nullptr, &p, &saved), 0u);
  EXPECT_STREQ(p.szUserName, "alice");
  EXPECT_STREQ(p.szPassword, "s3cret");
  EXPECT_TRUE(saved);

  p = EntryParams("Beta");
  std::memset(p.szPassword, 'q', 10);
  ASSERT_EQ(RasGetEntryDialParamsA(nullptr, &p, &saved), 0u);
  EXPECT_STREQ(p.szUserName, "bob");
  EXPECT_STREQ(p.szPassword, "");
  EXPECT_FALSE(saved);

  p = EntryParams("Gamma");
  ASSERT_EQ(RasGetEntryDialParamsA(nullptr, &p, &saved), 0u);
  EXPECT_STREQ(p.szUserName, "");

  p = EntryParams("Nobody");
  EXPECT_EQ(RasGetEntryDialParamsA(nullptr, &p, &saved), kCannotFindEntry);
}

TEST_F(PhonebookTest, DialWithoutNotifierReturnsTheEndAndLeavesAHandle) {
  WriteWorldFile("ras.ini", "[t111]\nend=connected\n[t222]\nstates=0,1\nerror=680\n");
  RASDIALPARAMSA p = EntryParams("Beta");
  std::strcpy(p.szUserName, "carol");
  HRASCONN handle = nullptr;
  EXPECT_EQ(RasDialA(nullptr, nullptr, &p, 0, nullptr, &handle), 680u);
  EXPECT_TRUE(Journaled("dial t222 user=carol"));
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(RasHangUpA(handle), 0u);

  EXPECT_EQ(DialEntry("Alpha", &handle), 0u);
  EXPECT_EQ(Connections().size(), 1u);
  EXPECT_EQ(DialEntry("Nobody", &handle), kCannotFindEntry);
}

TEST_F(RasServiceTest, Windows95FamilyPublishesTheSpeed) {
  WriteWorldFile("system.ini", "[system]\nplatform_id=1\n");
  WriteWorldFile("ras.ini", "[t222]\nend=connected\nspeed=115200\n");
  Dial("t222");
  Reports::Get().WaitForEnd();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, KEY_READ, &key), ERROR_SUCCESS);
  BYTE data[8] = {};
  DWORD type = 0;
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(key, "Dial-Up Adapter\\ConnectSpeed", nullptr, &type, data, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(size, 4u);
  EXPECT_EQ(data[0], 0x00);
  EXPECT_EQ(data[1], 0xC2);
  EXPECT_EQ(data[2], 0x01);
  EXPECT_EQ(data[3], 0x00);
}

}  // namespace
