// The plug-in's connection details, hang-up and run-time function lookup,
// through the fake host and the simulated remote access service.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dial/connection.h"
#include "dial/ras_function_lookup.h"
#include "shell/messages.h"
#include "shell/plugin_error.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "tests/fake_host.h"
#include "winapi/ras_sim.h"

namespace {

class ConnectionTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteWorldFile("system.ini", "[system]\nplatform_id=1\nnow=2026-03-01 09:05:03\n");
    Settings().logfilename = "vezuzaziz.log";
    host->texts[MHungUp] = "Hung up.";
  }
  void TearDown() override {
    RasSimStopAll();
    PluginTest::TearDown();
  }

  void SetStat(const char* name, std::vector<BYTE> bytes, DWORD type = REG_BINARY) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())), ERROR_SUCCESS);
    RegCloseKey(key);
  }

  // `count` connections made through the phone book, without a notifier.
  std::vector<HRASCONN> Connect(int count, int speed = 0) {
    WriteWorldFile("rasphone.pbk", "[Office]\nPhoneNumber=t222\n");
    WriteWorldFile("ras.ini", "[t222]\nstates=\nend=connected\nlocal_ip=192.168.7.2\nremote_ip=192.168.7.1\nspeed=" +
                                  std::to_string(speed) + "\n");
    std::vector<HRASCONN> made;
    for (int i = 0; i < count; ++i) {
      RASDIALPARAMSA p{};
      p.dwSize = sizeof p;
      std::strcpy(p.szEntryName, "Office");
      HRASCONN h = nullptr;
      EXPECT_EQ(RasDialA(nullptr, nullptr, &p, 0, nullptr, &h), 0u);
      made.push_back(h);
    }
    return made;
  }

  size_t ActiveConnections() {
    DWORD bytes = 0;
    DWORD count = 0;
    const DWORD rc = RasEnumConnectionsA(nullptr, &bytes, &count);
    return rc == 0 ? 0 : bytes / sizeof(RASCONNA);
  }

  size_t JournalCount(const std::string& prefix) {
    size_t n = 0;
    for (const std::string& line : Journal()) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
};

TEST_F(ConnectionTest, SpeedIsReadFromTheLastConnectSpeedValue) {
  EXPECT_EQ(ConnectionSpeed(nullptr), 0);  // no statistics key at all

  SetStat("Dial-Up Adapter\\ConnectSpeed", {0x00, 0xC2, 0x01, 0x00});
  EXPECT_EQ(ConnectionSpeed(nullptr), 115200);

  // A second adapter listed later wins; a lower-case name never matches.
  SetStat("Dial-Up Adapter #2\\ConnectSpeed", {0x20, 0x67, 0x00, 0x00});
  SetStat("Dial-Up Adapter #3\\connectspeed", {0xFF, 0xFF, 0x00, 0x00});
  EXPECT_EQ(ConnectionSpeed(nullptr), 26400);
}

TEST_F(ConnectionTest, OnlyALowerCaseNameGivesNoSpeed) {
  SetStat("Dial-Up Adapter\\connectspeed", {0x00, 0xC2, 0x01, 0x00});
  SetStat("Dial-Up Adapter\\BytesRecvd", {0x10, 0x00, 0x00, 0x00});
  EXPECT_EQ(ConnectionSpeed(nullptr), 0);
}

TEST_F(ConnectionTest, SpeedValuesOfTheWrongShape) {
  SetStat("Dial-Up Adapter\\ConnectSpeed", {0x00, 0xC2, 0x01});  // short: missing bytes are 0
  EXPECT_EQ(ConnectionSpeed(nullptr), 115200);
  SetStat("Dial-Up Adapter\\ConnectSpeed", {0x00, 0xC2, 0x01, 0x00, 0x00});  // too long
  EXPECT_EQ(ConnectionSpeed(nullptr), 0);
  SetStat("Dial-Up Adapter\\ConnectSpeed", {0x00, 0xC2, 0x01, 0x00}, REG_DWORD);  // not binary
  EXPECT_EQ(ConnectionSpeed(nullptr), 0);
}

TEST_F(ConnectionTest, WithoutAPublishedSpeedTheConnectionStatisticsTellIt) {
  WriteWorldFile("system.ini", "[system]\nplatform_id=2\n");
  const std::vector<HRASCONN> made = Connect(1);
  const HRASCONN fast = Connect(1, 31200)[0];
  EXPECT_EQ(ConnectionSpeed(fast), 31200);
  EXPECT_EQ(ConnectionSpeed(made[0]), 0);       // the service knows no speed for it
  EXPECT_EQ(ConnectionSpeed(nullptr), 0);       // no connection
  SetStat("Dial-Up Adapter\\ConnectSpeed", {0x00, 0xC2, 0x01, 0x00});
  EXPECT_EQ(ConnectionSpeed(fast), 115200);     // a published speed comes first
  WriteWorldFile("system.ini", "[system]\nplatform_id=2\n[libraries]\nrasapi32_lacks=RasGetConnectionStatistics\n");
  RegDeleteKeyA(HKEY_DYN_DATA, "PerfStats\\StatData");
  EXPECT_EQ(ConnectionSpeed(fast), 0);          // a system before Windows 2000
}

TEST_F(ConnectionTest, AddressesOfAConnection) {
  const std::vector<HRASCONN> made = Connect(1);
  EXPECT_EQ(LocalIpAddress(made[0]), "192.168.7.2");
  EXPECT_EQ(RemoteIpAddress(made[0]), "192.168.7.1");
  // A handle the service does not know gives empty texts.
  RasHangUpA(made[0]);
  EXPECT_EQ(LocalIpAddress(made[0]), "");
  EXPECT_EQ(RemoteIpAddress(made[0]), "");
}

TEST_F(ConnectionTest, HangUpAllWithoutConnectionsDoesNothing) {
  HangUpAll();
  EXPECT_EQ(JournalCount("hangup "), 0u);
  EXPECT_FALSE(PluginFileExists("vezuzaziz.log"));
}

TEST_F(ConnectionTest, HangUpAllEndsThreeConnectionsWithALineEach) {
  Connect(3);
  HangUpAll();
  EXPECT_EQ(ActiveConnections(), 0u);
  EXPECT_EQ(JournalCount("hangup "), 3u);
  EXPECT_EQ(LogTexts("vezuzaziz.log"), (std::vector<std::string>{"Hung up.", "Hung up.", "Hung up."}));
}

TEST_F(ConnectionTest, HangUpAllEndsMoreConnectionsThanItsFirstList) {
  Connect(150);
  HangUpAll();
  EXPECT_EQ(ActiveConnections(), 0u);
  EXPECT_EQ(JournalCount("hangup "), 150u);
  EXPECT_EQ(LogTexts("vezuzaziz.log").size(), 150u);
}

class FunctionLookupTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ResetRasFunctionLookup();
    WriteWorldFile("rasphone.pbk", "[Alpha]\nPhoneNumber=1\n[Beta]\nPhoneNumber=2\n");
  }
  void TearDown() override {
    ResetRasFunctionLookup();
    PluginTest::TearDown();
  }
  std::string LookupError(const std::string& name) {
    try {
      RasFunctionLookup(name);
    } catch (const PluginError& e) {
      return e.what();
    }
    return "";
  }
  static RASDELETEENTRYFUNC AsDelete(FARPROC proc) {
    return reinterpret_cast<RASDELETEENTRYFUNC>(reinterpret_cast<void (*)()>(proc));
  }
};

TEST_F(FunctionLookupTest, AnsiNameInRasapi32) {
  RASDELETEENTRYFUNC remove = AsDelete(RasFunctionLookup("RasDeleteEntry"));
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(remove(nullptr, "Alpha"), 0u);
  EXPECT_EQ(ReadWorldFile("rasphone.pbk").find("Alpha"), std::string::npos);
  EXPECT_EQ(LookupError("RasNoSuchCall"), "Function RasNoSuchCall not found!");
}

TEST_F(FunctionLookupTest, PlainNameInRnaphWhenRasapi32LacksIt) {
  WriteWorldFile("system.ini", "[libraries]\nrasapi32_lacks=RasDeleteEntryA\nrnaph=present\n");
  RASDELETEENTRYFUNC remove = AsDelete(RasFunctionLookup("RasDeleteEntry"));
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(remove(nullptr, "Beta"), 0u);
  EXPECT_EQ(ReadWorldFile("rasphone.pbk").find("Beta"), std::string::npos);
  // rnaph stays the library: its names carry no "A".
  EXPECT_NE(RasFunctionLookup("RasDeleteEntry"), nullptr);
  EXPECT_EQ(LookupError("RasDialA"), "Function RasDialA not found!");
}

TEST_F(FunctionLookupTest, LibrariesThatCannotBeOpened) {
  WriteWorldFile("system.ini", "[libraries]\nrasapi32_lacks=RasDeleteEntryA\nrnaph=missing\n");
  EXPECT_EQ(LookupError("RasDeleteEntry"), "Error opening rnaph.dll");
  WriteWorldFile("system.ini", "[libraries]\nrasapi32=missing\n");
  EXPECT_EQ(LookupError("RasDeleteEntry"), "Error opening rasapi.dll");
  // Nothing was remembered: once the library is back, the lookup succeeds.
  WriteWorldFile("system.ini", "[libraries]\n");
  EXPECT_NE(RasFunctionLookup("RasDeleteEntry"), nullptr);
}

}  // namespace
