#include <gtest/gtest.h>

#include <fstream>

#include "shell/file_io.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "tests/fake_host.h"
#include "tools/event_log.h"

namespace {

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME t{};
  t.wYear = year;
  t.wMonth = month;
  t.wDay = day;
  t.wHour = hour;
  t.wMinute = minute;
  t.wSecond = second;
  return t;
}

TEST(LogNames, StampAndDailyNameForGivenTimes) {
  EXPECT_EQ(LogTimeStamp(At(2026, 3, 1, 9, 5, 3)), "01/03  09:05:03  ");
  EXPECT_EQ(LogTimeStamp(At(2027, 1, 9, 0, 0, 0)), "09/01  00:00:00  ");
  EXPECT_EQ(LogTimeStamp(At(2027, 12, 31, 23, 59, 59)).size(), 17u);
  EXPECT_EQ(DailyLogFileName(At(2027, 1, 9, 0, 0, 0)), "20270109.log");
  EXPECT_EQ(DailyLogFileName(At(2026, 3, 1, 12, 0, 0)), "20260301.log");
  EXPECT_EQ(DailyLogFileName(At(1999, 11, 20, 0, 0, 0)), "19991120.log");
}

class EventLogTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteWorldFile("system.ini", "[system]\nplatform_id=2\nnow=2026-03-01 09:05:03\n");
    Settings().logfilename = "vezuzaziz.log";
    VersionRecord().dwPlatformId = 2;
  }
  std::vector<std::string> Titles() {
    std::vector<std::string> titles;
    for (const std::string& line : Journal()) {
      if (line.rfind("title ", 0) == 0) titles.push_back(line.substr(6));
    }
    return titles;
  }
};

TEST_F(EventLogTest, PluginDirectoryEndsInTheLastBackslash) {
  SetModulePathFromField("C:\\Kel\\Plugins\\vez\\vezuzaziz.dll");
  EXPECT_EQ(PluginDirectory(), "C:\\Kel\\Plugins\\vez\\");
  SetModulePathFromField("vezuzaziz.dll");
  EXPECT_EQ(PluginDirectory(), "");
  SetModulePathFromField("C:\\");
  EXPECT_EQ(PluginDirectory(), "C:\\");
}

TEST_F(EventLogTest, SingleFileGetsStampedLinesAndTheTitleFollows) {
  WriteLogLine("abc");
  WriteLogLine("");
  EXPECT_EQ(ReadPluginFile("vezuzaziz.log"), "01/03  09:05:03  abc\r\n01/03  09:05:03  \r\n");
  EXPECT_EQ(Titles(), (std::vector<std::string>{"abc", ""}));
}

TEST_F(EventLogTest, DailyFileIsNamedByTheDateAndNeverTheSingleFile) {
  Settings().daily_log = true;
  WriteLogLine("first");
  WriteLogLine("second");
  EXPECT_EQ(LogTexts("20260301.log"), (std::vector<std::string>{"first", "second"}));
  EXPECT_FALSE(PluginFileExists("vezuzaziz.log"));
  EXPECT_EQ(CurrentLogFileName(), "20260301.log");
}

TEST_F(EventLogTest, EmptyLogFileNameSwitchesLogAndTitleOff) {
  Settings().logfilename = "";
  Settings().daily_log = true;
  WriteLogLine("nothing");
  EXPECT_FALSE(PluginFileExists("20260301.log"));
  EXPECT_TRUE(Titles().empty());
  EXPECT_EQ(CurrentLogFileName(), "20260301.log");
  Settings().daily_log = false;
  EXPECT_EQ(CurrentLogFileName(), "");
}

TEST_F(EventLogTest, LogFileNameIsRelativeToThePluginDirectoryEvenWithParentSteps) {
  Settings().logfilename = "..\\outside.log";
  WriteLogLine("up");
  std::ifstream in(root + "/outside.log");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "01/03  09:05:03  up\r");
}

TEST_F(EventLogTest, TitleIsConvertedToAnsiOutsideTheNtFamily) {
  VersionRecord().dwPlatformId = 1;
  WriteLogLine("\x82t\x82");
  VersionRecord().dwPlatformId = 2;
  WriteLogLine("\x82t\x82");
  const std::vector<std::string> titles = Titles();
  ASSERT_EQ(titles.size(), 2u);
  EXPECT_EQ(titles[0], "\xE9t\xE9");
  EXPECT_EQ(titles[1], "\x82t\x82");
  // The file keeps the OEM text either way.
  EXPECT_EQ(LogTexts("vezuzaziz.log"), (std::vector<std::string>{"\x82t\x82", "\x82t\x82"}));
}

TEST_F(EventLogTest, AnUnwritableLogRaisesAnErrorNamingTheFile) {
  Settings().logfilename = "missing\\dir\\x.log";
  try {
    WriteLogLine("lost");
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_NE(std::string(e.what()).find("x.log"), std::string::npos) << e.what();
    EXPECT_EQ(e.code(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  }
  EXPECT_TRUE(Titles().empty());
}

}  // namespace
