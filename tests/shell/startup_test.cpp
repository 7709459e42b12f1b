#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "shell/host_interface.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "tests/fake_host.h"

extern "C" {
void SetStartupInfo(const HostStartupInfo* info);
void GetPluginInfo(PluginInfo* info);
int OpenPlugin(int origin, intptr_t item);
int Configure(int item);
}

namespace {

class StartupTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    SetStartupInfo(&host->record);
    SetPlatform(2, "");
    WriteWorldFile("services.ini", "[RASMAN]\nstate=running\n[SIMPTCP]\nstate=running\n[TAPISRV]\nstate=running\n");
  }
  void SetPlatform(int id, const std::string& more) {
    WriteWorldFile("system.ini", "[system]\nplatform_id=" + std::to_string(id) + "\nnow=2026-03-01 09:05:03\n" + more);
  }
  int Open(const char* command) { return OpenPlugin(OPEN_COMMANDLINE, reinterpret_cast<intptr_t>(command)); }
  std::vector<std::string> Log() { return LogTexts("20260301.log"); }
};

TEST_F(StartupTest, PluginInfoDescribesTheMenusAndThePrefix) {
  PluginInfo info;
  std::memset(&info, 0xAB, sizeof info);
  GetPluginInfo(&info);
  EXPECT_EQ(info.StructSize, static_cast<int>(sizeof(PluginInfo)));
  EXPECT_EQ(info.Flags, 12u);
  ASSERT_NE(info.PluginMenuStrings, nullptr);
  EXPECT_STREQ(info.PluginMenuStrings[0], "<0>");
  EXPECT_EQ(info.PluginMenuStringsNumber, 1);
  EXPECT_EQ(info.PluginConfigStrings, info.PluginMenuStrings);
  EXPECT_EQ(info.PluginConfigStringsNumber, 1);
  EXPECT_EQ(info.DiskMenuStrings, info.PluginMenuStrings);
  EXPECT_EQ(info.DiskMenuStringsNumber, 1);
  EXPECT_EQ(info.DiskMenuNumbers, nullptr);
  EXPECT_STREQ(info.CommandPrefix, "ras");

  RegistryKey key;
  key.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_ALL_ACCESS);
  key.WriteInteger("show_disk", 0);
  GetPluginInfo(&info);
  EXPECT_EQ(info.DiskMenuStrings, nullptr);
  EXPECT_EQ(info.DiskMenuStringsNumber, 0);
  EXPECT_EQ(info.PluginMenuStringsNumber, 1);
  EXPECT_TRUE(host->calls.empty());
}

TEST_F(StartupTest, MissingEntryFileStopsEveryOriginAndCommandWithOneWarning) {
  const std::vector<std::pair<int, const char*>> openings = {
      {0, nullptr}, {1, nullptr}, {OPEN_COMMANDLINE, "hangup"}, {OPEN_COMMANDLINE, "menu"},
      {OPEN_COMMANDLINE, "Office"}, {OPEN_COMMANDLINE, ""}};
  for (const auto& [origin, text] : openings) {
    host->calls.clear();
    EXPECT_EQ(OpenPlugin(origin, reinterpret_cast<intptr_t>(text)), -1);
    ASSERT_EQ(host->Ops(), "Message") << origin << " " << (text ? text : "");
    const HostCall& box = host->calls[0];
    EXPECT_EQ(box.flags, 1u);
    EXPECT_EQ(box.items, (std::vector<std::string>{"<5>", "<3>", "", "<4>"}));
    EXPECT_EQ(box.buttons, 1);
    EXPECT_EQ(box.help, "(null)");
  }
  EXPECT_EQ(Log(), std::vector<std::string>(openings.size(), "<3>"));
}

TEST_F(StartupTest, ServicesThatDoNotRunAreLoggedAndStartedOnTheNtFamilyOnly) {
  WriteWorldFile("services.ini",
                 "[RASMAN]\nstate=running\n[SIMPTCP]\nstate=stopped\nstart=ok\n");
  WritePluginFile("vezuzaziz.ini", "");
  Open("hangup");  // no connection to hang up: only the services leave log lines
  EXPECT_EQ(Log(), (std::vector<std::string>{"<91>", "<92>"}));
  const std::vector<std::string> journal = Journal();
  EXPECT_NE(std::find(journal.begin(), journal.end(), "service start SIMPTCP"), journal.end());
  EXPECT_TRUE(IsServiceRunning("SIMPTCP"));

  // Now all that exist run; the unknown one is logged again at every opening.
  Open("hangup");
  EXPECT_EQ(Log(), (std::vector<std::string>{"<91>", "<92>", "<92>"}));

  SetPlatform(1, "");
  WriteWorldFile("services.ini", "[RASMAN]\nstate=stopped\nstart=ok\n");
  Open("hangup");
  EXPECT_EQ(Log().size(), 3u);
  EXPECT_FALSE(IsServiceRunning("RASMAN"));
}

// The service calls are found at run time: a system of the NT family that
// lacks any of them is left alone as the 95 family is.
TEST_F(StartupTest, WithoutAServiceCallNoServiceIsLookedAt) {
  WriteWorldFile("services.ini", "[RASMAN]\nstate=stopped\nstart=ok\n");
  WritePluginFile("vezuzaziz.ini", "");
  for (const char* lacking : {"OpenSCManagerA", "OpenServiceA", "QueryServiceStatus", "StartServiceA",
                              "CloseServiceHandle"}) {
    SetPlatform(2, std::string("[libraries]\nadvapi32_lacks=") + lacking + "\n");
    EXPECT_FALSE(ServiceCheckPossible()) << lacking;
    Open("hangup");
  }
  EXPECT_TRUE(Log().empty());
  const std::vector<std::string> journal = Journal();
  EXPECT_EQ(std::find(journal.begin(), journal.end(), "service start RASMAN"), journal.end());

  SetPlatform(2, "");
  EXPECT_TRUE(ServiceCheckPossible());
  Open("hangup");
  EXPECT_EQ(Log(), (std::vector<std::string>{"<90>", "<91>", "<92>"}));
  EXPECT_TRUE(IsServiceRunning("RASMAN"));
}

TEST_F(StartupTest, ServiceStartGivesUpWhenTheServiceStopsOrCannotStart) {
  WriteWorldFile("services.ini",
                 "[DIES]\nstate=stopped\nstart=stops\n[BROKEN]\nstate=stopped\nstart=fail\n[UP]\nstate=running\n");
  EXPECT_FALSE(StartServiceAndWait("DIES"));
  EXPECT_FALSE(StartServiceAndWait("BROKEN"));
  EXPECT_FALSE(StartServiceAndWait("UP"));  // already running: the start itself fails
  EXPECT_FALSE(StartServiceAndWait("NOSUCH"));
  EXPECT_FALSE(IsServiceRunning("NOSUCH"));
}

TEST_F(StartupTest, OnlyLowerCaseMenuOpensTheMainMenu) {
  WritePluginFile("vezuzaziz.ini", "");
  Open("Menu");  // dials an entry named Menu, which does not exist: a box says so
  Open("MENU");
  EXPECT_EQ(host->Ops(), "Message Message");
  EXPECT_EQ(host->calls[1].items[1], "<94>MENU");
  host->calls.clear();
  Open("menu");  // the main menu: with no entry it opens the new-entry dialog
  EXPECT_EQ(host->Ops(), "Dialog");
  host->calls.clear();
  OpenPlugin(0, 0);
  EXPECT_EQ(host->Ops(), "Dialog");
}

TEST_F(StartupTest, WrongTypedSettingIsReportedAndTheActionGoesOn) {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegSetValueExA(key, "debug", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
  RegCloseKey(key);
  Open("menu");
  ASSERT_EQ(host->Ops(), "Message Message");
  EXPECT_EQ(host->calls[0].items, (std::vector<std::string>{"<5>", "Invalid data type for 'debug'", "<4>"}));
  EXPECT_EQ(host->calls[1].items[1], "<3>");
  EXPECT_EQ(Log(), (std::vector<std::string>{"Invalid data type for 'debug'", "<3>"}));
}

TEST_F(StartupTest, AnUnwritableLogEndsTheActionWithABoxNamingTheFile) {
  RegistryKey key;
  key.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_ALL_ACCESS);
  key.WriteInteger("daily_log", 0);
  key.WriteString("logfilename", "no\\such\\dir.log");
  Open("hangup");
  ASSERT_EQ(host->Ops(), "Message Message");
  const HostCall& failure = host->calls[1];
  EXPECT_EQ(failure.flags, 1u);
  ASSERT_EQ(failure.items.size(), 3u);
  EXPECT_NE(failure.items[1].find("dir.log"), std::string::npos) << failure.items[1];
  EXPECT_EQ(host->wrong_thread_calls, 0);
}

}  // namespace
