// The calling-convention checks of the 32-bit rig, run under 32-bit Wine by
// scripts/run-wine-stage: kelhost.exe reports an export that is not stdcall
// as an error line (and exit status 3), and the test remote access library
// journals a notifier that is not WINAPI as an error. On a 64-bit build
// there is one calling convention and both tests are skipped.
//
// The stage sets VEZ_RIG_DIR to a folder holding kelhost.exe,
// cdecl_plugin.dll and vezuzaziz.lng, VEZ_TESTRAS_DIR to the test remote
// access libraries and WINAPI_WORLD to a world they read.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "dial/ras_api.h"
#include "tests/wine/wine_test_support.h"

namespace {

bool Is32Bit() { return sizeof(void*) == 4; }

TEST(StackCheck, KelhostReportsAnExportBuiltAsCdecl) {
  if (!Is32Bit()) GTEST_SKIP() << "one calling convention on this target";
  const std::string dir = Env("VEZ_RIG_DIR");
  ASSERT_FALSE(dir.empty()) << "VEZ_RIG_DIR is not set";
  const std::string script = dir + "\\empty_script";
  const std::string transcript = dir + "\\cdecl_transcript";
  std::ofstream(script, std::ios::binary | std::ios::trunc);
  std::string command = "\"" + dir + "\\kelhost.exe\" --plugin \"" + dir + "\\cdecl_plugin.dll\" --lang \"" + dir +
                        "\\vezuzaziz.lng\" --script \"" + script + "\" --transcript \"" + transcript + "\" ras:Office";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                             &process))
      << GetLastError();
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const std::string text = ReadFile(transcript);
  EXPECT_EQ(status, 3u) << text;
  // The two int arguments (8 bytes) were left on the stack; the stdcall
  // exports before it pass unreported.
  EXPECT_NE(text.find("! OpenPlugin: the stack pointer is 8 bytes off after the call"), std::string::npos) << text;
  EXPECT_EQ(text.find("! SetStartupInfo"), std::string::npos) << text;
  EXPECT_EQ(text.find("! GetPluginInfo"), std::string::npos) << text;
}

// A notifier built as cdecl: it leaves its three arguments on the stack.
DWORD g_reports = 0;
void __cdecl CdeclNotifier(UINT /*message*/, RASCONNSTATE /*state*/, DWORD /*error*/) { ++g_reports; }

TEST(StackCheck, TestRasJournalsANotifierBuiltAsCdecl) {
  if (!Is32Bit()) GTEST_SKIP() << "one calling convention on this target";
  const std::string testras = Env("VEZ_TESTRAS_DIR");
  const std::string world = Env("WINAPI_WORLD");
  ASSERT_FALSE(testras.empty()) << "VEZ_TESTRAS_DIR is not set";
  ASSERT_FALSE(world.empty()) << "WINAPI_WORLD is not set";
  std::ofstream(world + "\\ras.ini", std::ios::binary | std::ios::trunc) << "[t222]\r\nstates=0,1,2\r\nerror=676\r\n";
  HMODULE ras = LoadLibraryA((testras + "\\rasapi32.dll").c_str());
  ASSERT_NE(ras, nullptr) << GetLastError();
  using RasDialFn = DWORD(WINAPI*)(LPVOID, LPCSTR, RASDIALPARAMSA*, DWORD, LPVOID, HRASCONN*);
  using RasHangUpFn = DWORD(WINAPI*)(HRASCONN);
  auto dial = reinterpret_cast<RasDialFn>(reinterpret_cast<void*>(GetProcAddress(ras, "RasDialA")));
  auto hang_up = reinterpret_cast<RasHangUpFn>(reinterpret_cast<void*>(GetProcAddress(ras, "RasHangUpA")));
  ASSERT_NE(dial, nullptr);
  ASSERT_NE(hang_up, nullptr);
  RASDIALPARAMSA params{};
  params.dwSize = sizeof params;
  lstrcpyA(params.szPhoneNumber, "t222");
  HRASCONN connection = nullptr;
  ASSERT_EQ(dial(nullptr, nullptr, &params, 0, reinterpret_cast<LPVOID>(&CdeclNotifier), &connection), 0u);
  // The journal line comes with the first report.
  const std::string journal = world + "\\journal.log";
  for (int i = 0; i < 600 && ReadFile(journal).find("error notifier") == std::string::npos; ++i) Sleep(50);
  hang_up(connection);
  EXPECT_NE(ReadFile(journal).find("error notifier left the stack pointer 12 bytes off: not WINAPI"),
            std::string::npos)
      << ReadFile(journal);
  EXPECT_GT(g_reports, 0u);
}

}  // namespace
