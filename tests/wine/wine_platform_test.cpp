// The plug-in's Windows-only behaviour, checked against a real Windows API
// (run under wine64 by scripts/run-wine-stage): the platform id, the console
// title written by the event log, the run-time lookup of the NT family's
// calls, and the run-time lookup of RasDeleteEntry in the test remote access
// libraries and in Wine's own rasapi32.
//
// The stage sets VEZ_TESTRAS_DIR to the Windows path of the test libraries
// (rasapi32.dll; nodelete\rasapi32.dll without RasDeleteEntryA; win95\ with
// that library and rnaph.dll) and WINAPI_WORLD to a world they read. The
// console tests need a console: the stage runs this program under a pty.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "dial/ras_api.h"
#include "dial/ras_function_lookup.h"
#include "shell/nt_functions.h"
#include "shell/platform.h"
#include "shell/plugin_error.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "tools/event_log.h"
#include "tests/wine/wine_test_support.h"

namespace {

// The stage runs this program with Wine reporting a Windows version of
// each family, and says which platform id that version has
// (VEZ_EXPECTED_PLATFORM, 2 when unset).
TEST(WindowsVersion, GetVersionExAReportsTheFamilyWineWasSetTo) {
  const std::string expected = Env("VEZ_EXPECTED_PLATFORM");
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = 148;
  SetLastError(0xdeadbeef);
  ASSERT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(version.dwPlatformId, expected.empty() ? static_cast<DWORD>(VER_PLATFORM_WIN32_NT)
                                                   : static_cast<DWORD>(std::stoul(expected)));
  EXPECT_EQ(sizeof(OSVERSIONINFOA), 148u);
}

// The NT family's calls that the plug-in does not import are found in the
// system's own kernel32.dll and advapi32.dll on the NT family; on platform
// id 1 they are not looked for.
TEST(NtFunctions, FoundInTheSystemDllsOnTheNtFamilyOnly) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  const bool nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  const std::pair<const char*, const char*> calls[] = {
      {"kernel32.dll", "LockFileEx"},         {"kernel32.dll", "UnlockFileEx"},
      {"kernel32.dll", "MoveFileExA"},        {"advapi32.dll", "OpenSCManagerA"},
      {"advapi32.dll", "OpenServiceA"},       {"advapi32.dll", "StartServiceA"},
      {"advapi32.dll", "QueryServiceStatus"}, {"advapi32.dll", "CloseServiceHandle"}};
  for (const auto& [module, name] : calls) {
    EXPECT_EQ(FindNtFunction(module, name) != nullptr, nt) << name;
  }
  EXPECT_EQ(NtFunction<decltype(&MoveFileExA)>("kernel32.dll", "MoveFileExA") != nullptr, nt);
  EXPECT_EQ(FindNtFunction("kernel32.dll", "NoSuchFunctionAnywhere"), nullptr);
}

// The event log mirrors each line in the console title: as it stands on the
// NT family (whose console takes OEM text), converted to ANSI on platform 1.
class ConsoleTitle : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    directory_ = std::string(temp) + "vez_title_test\\";
    CreateDirectoryA(directory_.c_str(), nullptr);
    const std::string module = directory_ + "vezuzaziz.dll";
    SetModulePathFromField(module.c_str());
    Settings().logfilename = "title_test.log";
    Settings().daily_log = false;
  }
  void TearDown() override {
    DeleteFileA((directory_ + "title_test.log").c_str());
    RemoveDirectoryA(directory_.c_str());
    VersionRecord().dwPlatformId = 0;
  }
  static std::string Title() {
    char title[1024] = {};
    const DWORD length = GetConsoleTitleA(title, sizeof title);
    return std::string(title, length);
  }
  std::string directory_;
};

// OEM bytes that code page 1252 also defines, so the console keeps them.
const char kOemText[] = "Dialling \x8e\x99\xe9 222";

TEST_F(ConsoleTitle, TakesTheLogTextUnconvertedOnTheNtFamily) {
  VersionRecord().dwPlatformId = VER_PLATFORM_WIN32_NT;
  WriteLogLine(kOemText);
  EXPECT_EQ(Title(), kOemText);
  EXPECT_NE(ReadFile(directory_ + "title_test.log").find(kOemText), std::string::npos);
}

TEST_F(ConsoleTitle, ConvertsTheLogTextToAnsiOnPlatformOne) {
  VersionRecord().dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  WriteLogLine(kOemText);
  char ansi[sizeof kOemText] = {};
  OemToCharA(kOemText, ansi);
  ASSERT_STRNE(ansi, kOemText);
  EXPECT_EQ(Title(), ansi);
  // The log file keeps the OEM text either way.
  EXPECT_NE(ReadFile(directory_ + "title_test.log").find(kOemText), std::string::npos);
}

// RasFunctionLookup loads "rasapi32.dll" by name; SetDllDirectoryA decides
// which of the test libraries that finds (Wine's own when none is set).
class RasLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    testras_ = Env("VEZ_TESTRAS_DIR");
    world_ = Env("WINAPI_WORLD");
    ASSERT_FALSE(testras_.empty()) << "VEZ_TESTRAS_DIR is not set";
    ASSERT_FALSE(world_.empty()) << "WINAPI_WORLD is not set";
    ResetRasFunctionLookup();
    std::ofstream(world_ + "\\rasphone.pbk", std::ios::binary | std::ios::trunc)
        << "[Office]\r\nPhoneNumber=t222\r\n\r\n[Home]\r\nPhoneNumber=t333\r\n";
  }
  void TearDown() override {
    ResetRasFunctionLookup();
    SetDllDirectoryA(nullptr);
  }
  void UseLibrariesIn(const std::string& subdirectory) {
    const std::string dir = subdirectory.empty() ? testras_ : testras_ + "\\" + subdirectory;
    ASSERT_TRUE(SetDllDirectoryA(dir.c_str()));
  }
  static RASDELETEENTRYFUNC AsDelete(FARPROC proc) { return reinterpret_cast<RASDELETEENTRYFUNC>(reinterpret_cast<void*>(proc)); }
  std::string Phonebook() const { return ReadFile(world_ + "\\rasphone.pbk"); }

  std::string testras_;
  std::string world_;
};

TEST_F(RasLookup, FindsRasDeleteEntryAInRasapi32) {
  UseLibrariesIn("");
  RASDELETEENTRYFUNC remove = AsDelete(RasFunctionLookup("RasDeleteEntry"));
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(remove(nullptr, "office"), 0u);
  EXPECT_EQ(Phonebook().find("[Office]"), std::string::npos);
  EXPECT_NE(Phonebook().find("[Home]"), std::string::npos);
  // The library is remembered: the next lookup does not load another.
  EXPECT_EQ(AsDelete(RasFunctionLookup("RasDeleteEntry")), remove);
}

TEST_F(RasLookup, FallsBackToRnaphWhenRasapi32LacksIt) {
  UseLibrariesIn("win95");
  RASDELETEENTRYFUNC remove = AsDelete(RasFunctionLookup("RasDeleteEntry"));
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(remove(nullptr, "Home"), 0u);
  EXPECT_EQ(Phonebook().find("[Home]"), std::string::npos);
  EXPECT_EQ(remove(nullptr, "Home"), 623u);  // ERROR_CANNOT_FIND_PHONEBOOK_ENTRY
}

TEST_F(RasLookup, ReportsRnaphMissingWhenRasapi32LacksIt) {
  UseLibrariesIn("nodelete");
  try {
    RasFunctionLookup("RasDeleteEntry");
    FAIL() << "the lookup found a function that no library offers";
  } catch (const PluginError& error) {
    EXPECT_STREQ(error.what(), "Error opening rnaph.dll");
  }
  // Nothing was remembered: with a library that has it, the lookup succeeds.
  ResetRasFunctionLookup();
  UseLibrariesIn("");
  EXPECT_NE(RasFunctionLookup("RasDeleteEntry"), nullptr);
}

TEST_F(RasLookup, FindsRasDeleteEntryAInWinesOwnRasapi32) {
  SetDllDirectoryA(nullptr);
  FARPROC proc = RasFunctionLookup("RasDeleteEntry");
  ASSERT_NE(proc, nullptr);
  // It is Wine's library, not a test one: the test phone book is untouched
  // by anything looked up here, and the module is not in the test folder.
  HMODULE module = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCSTR>(proc), &module));
  char name[MAX_PATH + 1] = {};
  GetModuleFileNameA(module, name, MAX_PATH);
  EXPECT_EQ(std::string(name).find(testras_), std::string::npos) << name;
}

}  // namespace
