#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "shell/settings.h"
#include "tests/fake_host.h"
#include "tools/log_viewing.h"

namespace {

class LogViewingTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteWorldFile("system.ini", "[system]\nnow=2026-03-01 09:05:03\n");
    Settings().logfilename = "vezuzaziz.log";
    Settings().daily_log = true;
    directory = module_path.substr(0, module_path.rfind('\\') + 1);
  }
  // Row text -> checked.
  std::map<std::string, int> Rows(const HostCall& menu) {
    std::map<std::string, int> rows;
    for (const HostMenuItem& r : menu.rows) rows[r.Text] = r.Checked;
    return rows;
  }
  std::string directory;
};

TEST_F(LogViewingTest, CurrentLogOpensInTheViewerWhetherOrNotItExists) {
  ViewCurrentLog();
  ASSERT_EQ(host->Ops(), "Viewer");
  EXPECT_EQ(host->calls[0].text, directory + "20260301.log");
  EXPECT_EQ(host->calls[0].title, "(null)");
  EXPECT_EQ(host->calls[0].x1, 0);
  EXPECT_EQ(host->calls[0].y2, -1);
  EXPECT_EQ(host->calls[0].flags, 0u);
}

TEST_F(LogViewingTest, MenuListsEveryLogWithTheCurrentOneChecked) {
  WritePluginFile("vezuzaziz.log", "a");
  WritePluginFile("20260228.log", "b");
  WritePluginFile("20260301.log", "c");
  WritePluginFile("notes.txt", "d");
  std::filesystem::create_directory(plugin_dir + "/x.log");
  host->QueueMenu(-1);
  LogFileMenu();
  ASSERT_EQ(host->Ops(), "Menu");
  const HostCall& menu = host->calls[0];
  EXPECT_EQ(menu.title, "<88>");
  EXPECT_EQ(menu.bottom, "<89>4");
  EXPECT_EQ(menu.help, "MainMenu");
  EXPECT_TRUE(menu.break_keys.empty());
  EXPECT_EQ(Rows(menu), (std::map<std::string, int>{
                            {"vezuzaziz.log", 0}, {"20260228.log", 0}, {"20260301.log", 1}, {"x.log", 0}}));
  for (const HostMenuItem& r : menu.rows) EXPECT_EQ(r.Selected, 0);
}

TEST_F(LogViewingTest, ChosenRowOpensThatFileAndCaseDifferencesStillCheck) {
  Settings().daily_log = false;
  Settings().logfilename = "VEZUZAZIZ.LOG";
  WritePluginFile("vezuzaziz.log", "a");
  WritePluginFile("old.log", "b");
  host->QueueMenu(0);
  LogFileMenu();
  const HostCall& menu = host->calls[0];
  EXPECT_EQ(Rows(menu)["vezuzaziz.log"], 1);
  ASSERT_EQ(host->Ops(), "Menu Viewer");
  EXPECT_EQ(host->calls[1].text, directory + menu.rows[0].Text);
}

TEST_F(LogViewingTest, NoLogFileShowsNothing) {
  LogFileMenu();
  EXPECT_EQ(host->Ops(), "");
}

TEST_F(LogViewingTest, MoreThanTwoHundredFiftyFiveFilesAreAllListed) {
  for (int i = 0; i < 300; ++i) WritePluginFile("day" + std::to_string(i) + ".log", "");
  host->QueueMenu(-1);
  LogFileMenu();
  EXPECT_EQ(host->calls[0].rows.size(), 300u);
  EXPECT_EQ(host->calls[0].bottom, "<89>300");
}

TEST_F(LogViewingTest, ANameLongerThanARowStillOpensWhole) {
  const std::string name = std::string(150, 'n') + ".log";
  WritePluginFile(name, "x");
  host->QueueMenu(0);
  LogFileMenu();
  EXPECT_EQ(std::string(host->calls[0].rows[0].Text).size(), 127u);
  EXPECT_EQ(host->calls[1].text, directory + name);
}

}  // namespace
