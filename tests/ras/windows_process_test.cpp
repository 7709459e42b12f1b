// Conformance tests of the stand-in's windows, processes, thread messages
// and sound.
#include <signal.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/ras/ras_world.h"

namespace {

// Whether the process has ended (gone, or a zombie nobody has reaped yet).
bool ProcessEnded(DWORD pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t paren = text.rfind(')');
  return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'Z';
}

// Polls until `done` holds; a guard against hanging, not a speed check.
template <class Condition>
bool Eventually(Condition done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

using WindowsTest = RasWorldTest;

TEST_F(WindowsTest, WindowsAreFoundByTheirExactTitle) {
  WriteWorldFile("windows.ini", "[windows]\nMail Reader=4242\nA=B title=4243\n[other]\nIgnored=4244\n");
  HWND mail = FindWindowA(nullptr, "Mail Reader");
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(FindWindowA(nullptr, "Mail Reader"), mail);  // the same window, the same handle
  EXPECT_EQ(FindWindowA(nullptr, "mail reader"), nullptr);
  EXPECT_EQ(FindWindowA(nullptr, "Mail"), nullptr);
  EXPECT_EQ(FindWindowA(nullptr, "Ignored"), nullptr);

  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(mail, &pid), 4242u);
  EXPECT_EQ(pid, 4242u);
  HWND odd = FindWindowA(nullptr, "A=B title");
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(GetWindowThreadProcessId(odd, &pid), 4243u);

  SetLastError(0xdeadbeef);
  pid = 7;
  EXPECT_EQ(GetWindowThreadProcessId(reinterpret_cast<HWND>(uintptr_t{0x1234}), &pid), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(pid, 7u);
}

TEST_F(WindowsTest, StartedProgramOpensAWindowAndIsEndedThroughIt) {
  const std::string windows_ini = world_dir + "/windows.ini";
  // The program takes its time before its window is up; WinExec returns
  // only then, so the window can be closed right after the start.
  const std::string command = "sleep 0.3; echo \"Test Window=$$\" >> " + windows_ini + "; exec sleep 30";
  EXPECT_EQ(WinExec(command.c_str(), SW_SHOWNORMAL), 33u);
  EXPECT_TRUE(Journaled("winexec " + command));

  HWND window = FindWindowA(nullptr, "Test Window");
  ASSERT_NE(window, nullptr);
  DWORD pid = 0;
  ASSERT_NE(GetWindowThreadProcessId(window, &pid), 0u);
  ASSERT_FALSE(ProcessEnded(pid));

  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, TRUE, pid);
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(TerminateProcess(process, 0));
  EXPECT_TRUE(Journaled("terminate " + std::to_string(pid)));
  EXPECT_EQ(FindWindowA(nullptr, "Test Window"), nullptr);
  EXPECT_TRUE(Eventually([&] { return ProcessEnded(pid); }));
  EXPECT_TRUE(CloseHandle(process));
}

TEST_F(WindowsTest, ProcessCallsFailAsWindowsDoes) {
  EXPECT_EQ(WinExec("", SW_SHOWNORMAL), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(WinExec("no-such-program-here --flag", SW_SHOWNORMAL), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Journal().empty());

  SetLastError(0xdeadbeef);
  EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // Only a handle with the right to end the process may end it.
  HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(getpid()));
  ASSERT_NE(self, nullptr);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(TerminateProcess(self, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(self));
  EXPECT_FALSE(TerminateProcess(self, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(WindowsTest, ThreadMessagesQueuePerThread) {
  MSG msg{};
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  const DWORD me = GetCurrentThreadId();
  ASSERT_TRUE(PostThreadMessageA(me, WM_USER + 1, 2, 3));
  ASSERT_TRUE(PostThreadMessageA(me, WM_USER + 7, 0, 0));

  EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  // A range filter skips the first message and takes the one that fits.
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 5, WM_USER + 9, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 7));
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(msg.wParam, 2u);
  EXPECT_EQ(msg.lParam, 3);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(DispatchMessageA(&msg), 0);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  // Another thread's queue is its own.
  DWORD other = 0;
  std::thread t([&] { other = GetCurrentThreadId(); });
  t.join();
  ASSERT_TRUE(PostThreadMessageA(other, WM_USER, 0, 0));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(PostThreadMessageA(0, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), 1444u);
}

TEST_F(WindowsTest, PostedMessageWakesAMessageWait) {
  const DWORD me = GetCurrentThreadId();
  std::thread poster([me] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PostThreadMessageA(me, WM_USER + 3, 0, 0);
  });
  const DWORD woke = MsgWaitForMultipleObjects(0, nullptr, FALSE, 20000, QS_ALLINPUT);
  poster.join();
  EXPECT_EQ(woke, static_cast<DWORD>(WAIT_OBJECT_0));
  MSG msg{};
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
}

TEST_F(WindowsTest, SoundsArePlayedOnlyFromFilesThatExist) {
  WriteWorldFile("connect.wav", "RIFF");
  const std::string wav = "Z:" + world_dir + "/connect.wav";
  EXPECT_TRUE(sndPlaySoundA(wav.c_str(), SND_SYNC));
  const std::string missing = "Z:" + world_dir + "/failed.wav";
  EXPECT_FALSE(sndPlaySoundA(missing.c_str(), SND_SYNC));
  EXPECT_EQ(Journal(), (std::vector<std::string>{"sound " + wav}));
}

}  // namespace
