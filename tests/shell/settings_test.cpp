#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/platform.h"
#include "shell/settings.h"
#include "tests/fake_host.h"

namespace {

class SettingsTest : public PluginTest {
 protected:
  // Names of the values under the settings key, in stored order.
  std::vector<std::string> ValueNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD size = sizeof name;
      if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, size);
    }
    RegCloseKey(key);
    return names;
  }
  void SetDword(const char* name, DWORD value) {
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    key.WriteInteger(name, static_cast<int32_t>(value));
  }
  void SetString(const char* name, const std::string& value, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
  }
};

TEST_F(SettingsTest, FirstRunGivesDefaultsAndWritesOnlyMinspeed) {
  ReadSettings();
  const PluginSettings& s = Settings();
  EXPECT_EQ(s.dial_prefix, "p");
  EXPECT_TRUE(s.show_progress);
  EXPECT_TRUE(s.show_disk);
  EXPECT_TRUE(s.daily_log);
  EXPECT_TRUE(s.i629);
  EXPECT_FALSE(s.debug);
  EXPECT_EQ(s.logfilename, "vezuzaziz.log");
  EXPECT_EQ(s.startupfile, "startup.lst");
  EXPECT_EQ(s.phonebook, "");
  EXPECT_EQ(s.minspeed, 0);
  EXPECT_EQ(ValueNames(), std::vector<std::string>{"minspeed"});
  EXPECT_TRUE(TakeSettingsProblems().empty());
  // The file a person reads shows the value in the export format.
  EXPECT_NE(ReadWorldFile("registry.reg").find("\"minspeed\"=dword:00000000"), std::string::npos);
}

TEST_F(SettingsTest, NumbersOtherThanZeroAndOneLeaveTheSettingAsItStood) {
  SetDword("show_disk", 2);
  SetDword("dial_prefix", 7);
  ReadSettings();  // a freshly loaded library: flags off, prefix empty
  EXPECT_FALSE(Settings().show_disk);
  EXPECT_EQ(Settings().dial_prefix, "");

  SetDword("show_disk", 1);
  SetDword("dial_prefix", 1);
  ReadSettings();
  EXPECT_TRUE(Settings().show_disk);
  EXPECT_EQ(Settings().dial_prefix, "t");

  SetDword("show_disk", 2);
  SetDword("dial_prefix", 2);
  ReadSettings();
  EXPECT_TRUE(Settings().show_disk);
  EXPECT_EQ(Settings().dial_prefix, "t");
}

TEST_F(SettingsTest, StringsAndMinspeedAreTakenAsTheyStand) {
  SetString("logfilename", "");
  SetString("startupfile", " Start.LST ");
  SetString("phonebook", "%WINDIR%\\x.pbk", REG_EXPAND_SZ);
  SetDword("minspeed", static_cast<DWORD>(-5));
  ReadSettings();
  EXPECT_EQ(Settings().logfilename, "");
  EXPECT_EQ(Settings().startupfile, " Start.LST ");
  EXPECT_EQ(Settings().phonebook, "%WINDIR%\\x.pbk");
  EXPECT_EQ(Settings().minspeed, -5);
}

TEST_F(SettingsTest, WrongTypesTakeTheDefaultAndAreReported) {
  SetString("show_progress", "1");
  SetDword("logfilename", 3);
  ReadSettings();
  EXPECT_TRUE(Settings().show_progress);
  EXPECT_EQ(Settings().logfilename, "vezuzaziz.log");
  const std::vector<std::string> problems = TakeSettingsProblems();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0], "Invalid data type for 'show_progress'");
  EXPECT_EQ(problems[1], "Invalid data type for 'logfilename'");
  EXPECT_TRUE(TakeSettingsProblems().empty());
}

TEST_F(SettingsTest, AnIntegerLongerThanFourBytesCannotBeRead) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  RegSetValueExA(key, "debug", 0, REG_DWORD, eight, sizeof eight);
  RegCloseKey(key);
  ReadSettings();
  EXPECT_FALSE(Settings().debug);
  EXPECT_EQ(TakeSettingsProblems(), std::vector<std::string>{"Failed to get data for 'debug'"});
}

TEST_F(SettingsTest, AnUnwritableKeyGivesDefaultsAndReportsTheMinspeedWrite) {
  WriteWorldFile("system.ini", "[faults]\nreadonly_keys=HKEY_CURRENT_USER\\Software\\Kel\n");
  ReadSettings();
  EXPECT_EQ(Settings().dial_prefix, "p");
  EXPECT_TRUE(Settings().daily_log);
  EXPECT_EQ(TakeSettingsProblems(), std::vector<std::string>{"Failed to set data for 'minspeed'"});
}

}  // namespace
