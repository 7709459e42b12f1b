// The stand-in's console (the keys StandinPushKey gives, the title's journal
// line), events and waits, and its pseudo libraries. The console calls
// themselves are checked in conformance/console_test.cpp.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/winapi/world_fixture.h"
#include "winapi/standin_sync.h"

namespace {

using ConsoleTest = WorldTest;

TEST_F(ConsoleTest, PushedKeysAreWholeKeyRecords) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  StandinPushKey(VK_ESCAPE, true);
  StandinPushKey(VK_ESCAPE, false);
  StandinPushKey('Q', true);
  INPUT_RECORD recs[4];
  DWORD n = 0;
  ASSERT_TRUE(ReadConsoleInputA(in, recs, 4, &n));
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(recs[0].EventType, KEY_EVENT);
  EXPECT_TRUE(recs[0].Event.KeyEvent.bKeyDown);
  EXPECT_EQ(recs[0].Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
  EXPECT_EQ(recs[0].Event.KeyEvent.uChar.AsciiChar, 0x1B);
  EXPECT_FALSE(recs[1].Event.KeyEvent.bKeyDown);
  EXPECT_EQ(recs[2].Event.KeyEvent.wVirtualKeyCode, 'Q');
  EXPECT_EQ(recs[2].Event.KeyEvent.uChar.AsciiChar, 'q');
}

TEST_F(ConsoleTest, ReadWaitsForAKeyFromAnotherThread) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::thread pusher([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    StandinPushKey(VK_ESCAPE, true);
  });
  INPUT_RECORD rec;
  DWORD n = 0;
  ASSERT_TRUE(ReadConsoleInputA(in, &rec, 1, &n));
  pusher.join();
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(rec.Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
}

TEST_F(ConsoleTest, TitleIsJournalledAndCutToAShortBuffer) {
  ASSERT_TRUE(SetConsoleTitleA("Dialling 222"));
  char buf[32];
  std::memset(buf, 0x5A, sizeof(buf));
  EXPECT_EQ(GetConsoleTitleA(buf, 5), 0u);  // too small: cut, no overrun
  EXPECT_STREQ(buf, "Dial");
  EXPECT_EQ(buf[5], 0x5A);
  EXPECT_NE(Read("journal.log").find("title Dialling 222\n"), std::string::npos);
}

using SyncTest = WorldTest;

TEST_F(SyncTest, AutoAndManualResetEvents) {
  HANDLE autoev = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(autoev, nullptr);
  EXPECT_EQ(WaitForSingleObject(autoev, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(autoev, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // reset by the wait
  EXPECT_EQ(WaitForSingleObject(manual, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // stays set
  ResetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SetEvent(autoev);
  });
  HANDLE both[2] = {manual, autoev};
  EXPECT_EQ(MsgWaitForMultipleObjects(2, both, FALSE, INFINITE, 0), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
  setter.join();

  EXPECT_TRUE(CloseHandle(autoev));
  EXPECT_TRUE(CloseHandle(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(SyncTest, TheConsoleInputIsSignalledWhileInputWaits) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE ev = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE both[2] = {ev, in};
  EXPECT_EQ(MsgWaitForMultipleObjects(2, both, FALSE, 0, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));

  INPUT_RECORD key;
  std::memset(&key, 0, sizeof(key));
  key.EventType = KEY_EVENT;
  key.Event.KeyEvent.bKeyDown = TRUE;
  key.Event.KeyEvent.wVirtualKeyCode = 'Q';
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    DWORD written = 0;
    WriteConsoleInputA(in, &key, 1, &written);
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(2, both, FALSE, INFINITE, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
  writer.join();
  // Waiting takes nothing: the handle stays signalled until the input is read.
  EXPECT_EQ(WaitForSingleObject(in, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  SetEvent(ev);
  EXPECT_EQ(MsgWaitForMultipleObjects(2, both, FALSE, 0, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // the lower index
  EXPECT_EQ(MsgWaitForMultipleObjects(2, both, FALSE, 0, 0), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
  INPUT_RECORD rec;
  DWORD n = 0;
  ASSERT_TRUE(ReadConsoleInputA(in, &rec, 1, &n));
  EXPECT_EQ(rec.Event.KeyEvent.wVirtualKeyCode, 'Q');
  EXPECT_EQ(WaitForSingleObject(in, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  // The console's other handles cannot be waited on.
  EXPECT_EQ(WaitForSingleObject(GetStdHandle(STD_OUTPUT_HANDLE), 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(ev);
}

std::atomic<DWORD> g_thread_with_message{0};
bool ProbeForTest(DWORD thread) { return thread == g_thread_with_message.load(); }

TEST_F(SyncTest, MessageWaitWakesForThisThreadsQueue) {
  StandinMessageProbe previous = StandinSetMessageProbe(&ProbeForTest);
  HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD me = GetCurrentThreadId();
  std::thread poster([me] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    g_thread_with_message = me;
    StandinWakeMessageWaiters();
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, INFINITE, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
  poster.join();
  // A message for another thread does not wake this one.
  g_thread_with_message = me + 1;
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 10, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
  StandinSetMessageProbe(previous);
  CloseHandle(ev);
}

using LibraryTest = WorldTest;

INT_PTR FakeDelete() { return 42; }

TEST_F(LibraryTest, PseudoModulesFollowSystemIni) {
  StandinRegisterProc("RASAPI32.DLL", "TestOnlyProc", reinterpret_cast<FARPROC>(&FakeDelete));
  HMODULE ras = LoadLibraryA("rasapi32.dll");
  ASSERT_NE(ras, nullptr);
  FARPROC fn = GetProcAddress(ras, "TestOnlyProc");
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(), 42);
  EXPECT_EQ(GetProcAddress(ras, "testonlyproc"), nullptr);  // export names keep their case
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(ras));

  EXPECT_EQ(LoadLibraryA("rnaph.dll"), nullptr);  // not there unless the world says so
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  Write("system.ini", "[libraries]\nrasapi32=missing\nrnaph=present\nrnaph_lacks=TestOnlyProc\n");
  EXPECT_EQ(LoadLibraryA("RasApi32"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  StandinRegisterProc("rnaph.dll", "TestOnlyProc", reinterpret_cast<FARPROC>(&FakeDelete));
  HMODULE rnaph = LoadLibraryA("rnaph.dll");
  ASSERT_NE(rnaph, nullptr);
  EXPECT_EQ(GetProcAddress(rnaph, "TestOnlyProc"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  FreeLibrary(rnaph);
  EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
}

}  // namespace
