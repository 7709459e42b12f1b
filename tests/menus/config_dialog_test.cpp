#include <gtest/gtest.h>

#include "shell/config_dialog.h"
#include "shell/settings.h"
#include "tests/fake_host.h"

namespace {

class ConfigDialogTest : public PluginTest {
 protected:
  std::string Reg() { return ReadWorldFile("registry.reg"); }
  bool RegHas(const std::string& line) { return Reg().find(line) != std::string::npos; }
  void Set(const char* name, int32_t value) {
    RegistryKey key;
    key.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_ALL_ACCESS);
    key.WriteInteger(name, value);
  }
};

TEST_F(ConfigDialogTest, ShowsEveryItemWithTheStoredValues) {
  Set("dial_prefix", 1);
  Set("debug", 1);
  Set("minspeed", 28800);
  RunConfigDialog();
  ASSERT_EQ(host->Ops(), "Dialog");
  const HostCall& d = host->calls[0];
  EXPECT_EQ(d.help, "Config");
  EXPECT_EQ(d.x1, -1);
  EXPECT_EQ(d.y1, -1);
  EXPECT_EQ(d.x2, 42);
  EXPECT_EQ(d.y2, 18);
  ASSERT_EQ(d.dialog.size(), 19u);
  const auto& it = d.dialog;
  EXPECT_EQ(it[0].Type, 3);
  EXPECT_STREQ(it[0].Data, "<38>");
  EXPECT_EQ(it[1].Type, 9);
  EXPECT_EQ(it[1].Flags, 0x400u);
  EXPECT_EQ(it[1].Focus, -1);
  EXPECT_EQ(it[1].Selected, 0);
  EXPECT_EQ(it[2].Selected, 1);
  EXPECT_EQ(it[2].X1, 24);
  EXPECT_STREQ(it[4].Data, "vezuzaziz.log");
  EXPECT_EQ(it[4].X1, 16);
  EXPECT_EQ(it[4].X2, 41);
  EXPECT_STREQ(it[6].Data, "startup.lst");
  EXPECT_EQ(it[6].X2, 33);
  EXPECT_STREQ(it[8].Data, "");
  EXPECT_EQ(it[8].X1, 20);
  EXPECT_EQ(it[10].DefaultButton, -1);
  EXPECT_STREQ(it[10].Data, "<22>");
  EXPECT_STREQ(it[11].Data, "<23>");
  EXPECT_EQ(it[12].Selected, 1);
  EXPECT_EQ(it[18].Selected, 1);
  EXPECT_EQ(it[18].Y1, 13);
  EXPECT_STREQ(it[17].Data, "28800");
  EXPECT_EQ(it[17].X1, 35);
  for (int i = 0; i < 19; ++i) {
    if (i != 1) {
      EXPECT_EQ(it[i].Focus, 0) << i;
    }
    if (i != 10) {
      EXPECT_EQ(it[i].DefaultButton, 0) << i;
    }
  }
}

TEST_F(ConfigDialogTest, AcceptingWithoutChangesWritesAllTenValues) {
  host->QueueDialog(10);
  RunConfigDialog();
  for (const char* line : {"\"dial_prefix\"=dword:00000000", "\"logfilename\"=\"vezuzaziz.log\"",
                           "\"startupfile\"=\"startup.lst\"", "\"phonebook\"=\"\"", "\"show_progress\"=dword:00000001",
                           "\"show_disk\"=dword:00000001", "\"daily_log\"=dword:00000001", "\"i629\"=dword:00000001",
                           "\"debug\"=dword:00000000", "\"minspeed\"=dword:00000000"}) {
    EXPECT_TRUE(RegHas(line)) << line << "\n" << Reg();
  }
  EXPECT_FALSE(PluginFileExists("vezuzaziz.log"));
  EXPECT_FALSE(PluginFileExists("20260301.log"));
}

TEST_F(ConfigDialogTest, CancelEscAndOtherItemsChangeNothing) {
  for (int closing : {11, -1, 4, 12}) {
    host->QueueDialog(closing, {{4, "other.log"}}, {{12, 0}});
    RunConfigDialog();
    EXPECT_EQ(Settings().logfilename, "vezuzaziz.log");
    EXPECT_TRUE(Settings().show_progress);
    EXPECT_FALSE(RegHas("logfilename")) << closing;
  }
}

TEST_F(ConfigDialogTest, EditedValuesGoToRegistryAndMemory) {
  host->QueueDialog(10, {{4, ""}, {6, "go.lst"}, {8, "C:\\x.pbk"}, {17, "-5"}},
                    {{1, 0}, {2, 1}, {12, 0}, {14, 0}, {18, 1}});
  RunConfigDialog();
  EXPECT_TRUE(RegHas("\"dial_prefix\"=dword:00000001"));
  EXPECT_TRUE(RegHas("\"logfilename\"=\"\""));
  EXPECT_TRUE(RegHas("\"phonebook\"=\"C:\\\\x.pbk\""));
  EXPECT_TRUE(RegHas("\"minspeed\"=dword:fffffffb"));
  EXPECT_TRUE(RegHas("\"show_progress\"=dword:00000000"));
  EXPECT_EQ(Settings().dial_prefix, "t");
  EXPECT_EQ(Settings().logfilename, "");
  EXPECT_EQ(Settings().startupfile, "go.lst");
  EXPECT_EQ(Settings().minspeed, -5);
  EXPECT_FALSE(Settings().show_progress);
  EXPECT_FALSE(Settings().daily_log);
  EXPECT_TRUE(Settings().debug);
}

TEST_F(ConfigDialogTest, MinspeedThatIsNotANumberIsStoredAsZero) {
  host->QueueDialog(10, {{17, "abc"}});
  RunConfigDialog();
  EXPECT_TRUE(RegHas("\"minspeed\"=dword:00000000"));
  host->QueueDialog(10, {{17, ""}});
  RunConfigDialog();
  EXPECT_EQ(Settings().minspeed, 0);
}

TEST_F(ConfigDialogTest, NeitherRadioSelectedKeepsTheDialPrefix) {
  Set("dial_prefix", 5);  // neither 0 nor 1: the prefix stays empty in a fresh library
  host->QueueDialog(10);
  RunConfigDialog();
  EXPECT_EQ(host->calls[0].dialog[1].Selected, 0);
  EXPECT_EQ(host->calls[0].dialog[2].Selected, 0);
  EXPECT_TRUE(RegHas("\"dial_prefix\"=dword:00000005"));
  EXPECT_EQ(Settings().dial_prefix, "");
}

TEST_F(ConfigDialogTest, StartupListButtonOpensTheEditedNameWithoutSaving) {
  WritePluginFile("other.lst", "notepad\r\n");
  host->QueueDialog(9, {{6, "other.lst"}, {4, "changed.log"}});
  RunConfigDialog();
  ASSERT_EQ(host->Ops(), "Dialog Editor");
  const HostCall& e = host->calls[1];
  EXPECT_EQ(e.text, module_path.substr(0, module_path.rfind('\\') + 1) + "other.lst");
  EXPECT_EQ(e.title, "(null)");
  EXPECT_EQ(e.x2, -1);
  EXPECT_FALSE(RegHas("logfilename"));
  EXPECT_FALSE(RegHas("startupfile"));

  host->calls.clear();
  host->QueueDialog(9, {{6, "missing.lst"}});
  RunConfigDialog();
  EXPECT_EQ(host->Ops(), "Dialog");
}

TEST_F(ConfigDialogTest, ASettingLongerThanItsFieldIsKeptWholeWhenLeftAlone) {
  const std::string long_name(600, 'L');
  {
    RegistryKey key;
    key.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_ALL_ACCESS);
    key.WriteString("phonebook", long_name);
  }
  host->QueueDialog(10);
  RunConfigDialog();
  EXPECT_EQ(std::string(host->calls[0].dialog[8].Data).size(), 511u);
  EXPECT_EQ(Settings().phonebook, long_name);
  host->QueueDialog(10, {{8, "short.pbk"}});
  RunConfigDialog();
  EXPECT_EQ(Settings().phonebook, "short.pbk");
}

TEST_F(ConfigDialogTest, AValueThatCannotBeWrittenIsReported) {
  WriteWorldFile("system.ini", "[faults]\nreadonly_keys=HKEY_CURRENT_USER\\Software\\Kel\n");
  host->QueueDialog(10, {{4, "new.log"}});
  host->QueueMessage(0);  // the settings read reports the minspeed it could not write
  host->QueueMessage(0);
  RunConfigDialog();
  const std::vector<HostCall> boxes = host->Calls("Message");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].flags, 1u);
  EXPECT_EQ(boxes[1].items[1], "Failed to set data for 'dial_prefix'");
  EXPECT_EQ(boxes[1].items[2], "<114>9<115>");   // every other value failed too
  EXPECT_EQ(Settings().logfilename, "new.log");  // memory follows all the same
}

}  // namespace
