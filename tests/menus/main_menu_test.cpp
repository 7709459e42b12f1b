#include <gtest/gtest.h>

#include "entries/entry_file.h"
#include "shell/main_menu.h"
#include "shell/settings.h"
#include "tests/fake_host.h"
#include "tests/test_only.h"

namespace {

class MainMenuTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteWorldFile("system.ini", "[system]\nnow=2026-03-01 09:05:03\n");
    Settings().logfilename = "vezuzaziz.log";
    WritePluginFile("vezuzaziz.ini", "");
  }
  void AddEntries(std::initializer_list<const char*> names) {
    for (const char* name : names) AppendDialEntry(DialEntry{name, "u", "p", "", "111", "0", "1", ""});
  }
  std::vector<std::string> RowTexts(const HostCall& menu) {
    std::vector<std::string> texts;
    for (const HostMenuItem& r : menu.rows) texts.push_back(r.Text);
    return texts;
  }
  static constexpr int kF4 = 0, kIns = 1, kDel = 2;
};

TEST_F(MainMenuTest, ThreeEntriesGiveElevenRows) {
  AddEntries({"Office", "Home", "Backup"});
  host->QueueMenu(-1);
  RunMainMenu();
  ASSERT_EQ(host->Ops(), "Menu");
  const HostCall& m = host->calls[0];
  EXPECT_EQ(m.title, "<1>");
  EXPECT_EQ(m.bottom, "<2>");
  EXPECT_EQ(m.help, "MainMenu");
  EXPECT_EQ(m.x1, -1);
  EXPECT_EQ(m.flags, 2u);
  EXPECT_EQ(m.break_keys, (std::vector<int>{115, 45, 46}));
  EXPECT_EQ(RowTexts(m), (std::vector<std::string>{"&1. Office", "&2. Home", "&3. Backup", "", "<10>", "", "<35>", "",
                                                   "<86>", "<87>", ""}));
  for (size_t i = 0; i < m.rows.size(); ++i) {
    EXPECT_EQ(m.rows[i].Selected, i == 0 ? -1 : 0) << i;
    EXPECT_EQ(m.rows[i].Checked, 0) << i;
    const bool separator = i == 3 || i == 5 || i == 7 || i == 10;
    EXPECT_EQ(m.rows[i].Separator, separator ? -1 : 0) << i;
  }
}

TEST_F(MainMenuTest, TenthEntryIsNumberedTen) {
  AddEntries({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"});
  host->QueueMenu(-1);
  RunMainMenu();
  EXPECT_EQ(host->calls[0].rows.size(), 18u);
  EXPECT_STREQ(host->calls[0].rows[9].Text, "&10. j");
}

TEST_F(MainMenuTest, NoEntryOpensTheNewEntryDialogAndEnds) {
  host->QueueDialog(-1);
  RunMainMenu();
  EXPECT_EQ(host->Ops(), "Dialog");
  EXPECT_EQ(host->calls[0].help, "EditRecord");
}

TEST_F(MainMenuTest, EntryKeysBringTheMenuBackWithTheCursorOnTop) {
  AddEntries({"Office", "Home"});
  host->QueueMenu(1, kF4);
  host->QueueDialog(-1);  // the edit dialog, left with Esc
  host->QueueMenu(0, kIns);
  host->QueueDialog(16, {{1, "New"}});
  host->QueueMenu(0, kDel);
  host->QueueMessage(0);  // delete Office
  host->QueueMenu(-1);
  RunMainMenu();
  EXPECT_EQ(host->Ops(), "Menu Dialog Menu Dialog Menu Message Menu");
  const std::vector<HostCall> menus = host->Calls("Menu");
  EXPECT_STREQ(host->calls[1].dialog[1].Data, "Home");
  EXPECT_EQ(RowTexts(menus[3])[0], "&1. Home");
  EXPECT_EQ(RowTexts(menus[3])[1], "&2. New");
  EXPECT_EQ(menus[3].rows[0].Selected, -1);
  EXPECT_FALSE(host->exhausted);
}

TEST_F(MainMenuTest, DeletingTheLastEntryLeadsToTheNewEntryDialog) {
  AddEntries({"Only"});
  host->QueueMenu(0, kDel);
  host->QueueMessage(0);
  host->QueueDialog(-1);
  RunMainMenu();
  EXPECT_EQ(host->Ops(), "Menu Message Dialog");
  EXPECT_EQ(ListEntryNames(), "");
}

TEST_F(MainMenuTest, HangUpRowEndsTheMenuWhateverTheKey) {
  AddEntries({"Office"});
  for (int key : {-1, kF4, kIns, kDel}) {
    host->calls.clear();
    host->QueueMenu(2, key);
    RunMainMenu();
    EXPECT_EQ(host->Ops(), "Menu") << key;
    EXPECT_FALSE(host->exhausted);
  }
}

TEST_F(MainMenuTest, ActionRowsRunOnEnterAndIgnoreEditAndDelete) {
  AddEntries({"Office"});
  host->QueueMenu(4, kF4);   // phone-book row: F4 does nothing
  host->QueueMenu(6, kDel);  // view-log row: Del does nothing
  host->QueueMenu(6);        // view-log row: Enter opens the viewer and ends
  RunMainMenu();
  EXPECT_EQ(host->Ops(), "Menu Menu Menu Viewer");
  EXPECT_EQ(ListEntryNames(), "Office");
}

TEST_F(MainMenuTest, NameWithACommaShowsAsTwoRows) {
  AddEntries({"A,B", ",Z"});
  host->QueueMenu(1);  // Enter on "B": asks the dial for an entry named B, which does not exist
  host->QueueMessage(0);
  RunMainMenu();
  EXPECT_EQ(RowTexts(host->calls[0])[0], "&1. A");
  EXPECT_EQ(RowTexts(host->calls[0])[1], "&2. B");
  EXPECT_EQ(RowTexts(host->calls[0])[2], "&3. Z");
  EXPECT_EQ(host->Ops(), "Menu Message");
  EXPECT_EQ(host->calls[1].items[1], "<94>B");
}

TEST_F(MainMenuTest, MoreEntriesThanTheOldRowLimitAreAllListed) {
  std::vector<std::string> lines;
  for (int i = 0; i < 300; ++i) {
    const std::string n = "e" + std::to_string(i);
    for (const std::string& l : {"[" + n + "]", std::string("Login="), std::string("Password="),
                                 std::string("Domain="), std::string("Numbers=1"), std::string("Interval=0"),
                                 std::string("Tries=1"), std::string("Callback=")}) {
      lines.push_back(l);
    }
  }
  SavePlainLines(lines);
  host->QueueMenu(-1);
  RunMainMenu();
  EXPECT_EQ(host->calls[0].rows.size(), 308u);
  EXPECT_STREQ(host->calls[0].rows[299].Text, "&300. e299");
}

TEST_F(MainMenuTest, LongNameIsCutToTheRow) {
  AddEntries({std::string(200, 'n').c_str()});
  host->QueueMenu(-1);
  RunMainMenu();
  EXPECT_EQ(std::string(host->calls[0].rows[0].Text), "&1. " + std::string(123, 'n'));
}

}  // namespace
