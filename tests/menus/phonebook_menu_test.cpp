// The system phone-book manager against the stand-in's remote access
// service: its rows, each key, the dial with saved credentials and its error
// box, and the phone book the `phonebook` setting names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/settings.h"
#include "tests/fake_host.h"
#include "tools/phonebook_menu.h"
#include "winapi/world.h"

namespace {

constexpr int kF4 = 0, kIns = 1, kDel = 2;

class PhonebookMenuTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteWorldFile("system.ini", "[system]\nnow=2026-03-01 09:05:03\n");
    WriteWorldFile("rasphone.pbk", "[A]\nPhoneNumber=t222\n\n[B]\nPhoneNumber=t333\n\n[C]\nPhoneNumber=t555\n");
    WriteRas("");
    Settings().logfilename = "vezuzaziz.log";
  }
  // ras.ini: t222 connects, t333 fails with a known error, t555 with one the
  // service has no text for; A has saved credentials; `extra` is appended.
  void WriteRas(const std::string& extra) {
    WriteWorldFile("ras.ini",
                   "[t222]\nstates=0,1,2\n\n[t333]\nstates=0,1\nerror=676\n\n[t555]\nstates=0\nerror=999\n\n"
                   "[credentials:A]\nuser=alice\npassword=pw\n\n" +
                       extra);
  }
  std::vector<std::string> Log() const { return LogTexts("vezuzaziz.log"); }
  static std::vector<std::string> RowTexts(const HostCall& menu) {
    std::vector<std::string> texts;
    for (const HostMenuItem& r : menu.rows) texts.emplace_back(r.Text);
    return texts;
  }
};

TEST_F(PhonebookMenuTest, ThreeEntriesGiveNumberedRowsUnderTheMainMenusTexts) {
  host->QueueMenu(-1);
  SystemPhonebookMenu();
  ASSERT_EQ(host->Ops(), "Menu");
  const HostCall& m = host->calls[0];
  EXPECT_EQ(RowTexts(m), (std::vector<std::string>{"&1. A", "&2. B", "&3. C"}));
  EXPECT_EQ(m.title, "<1>");
  EXPECT_EQ(m.bottom, "<2>");
  EXPECT_EQ(m.help, "External");
  EXPECT_EQ(m.flags, 2u);
  EXPECT_EQ(m.break_keys, (std::vector<int>{115, 45, 46}));
  for (const HostMenuItem& r : m.rows) {
    EXPECT_EQ(r.Selected, 0);
    EXPECT_EQ(r.Checked, 0);
    EXPECT_EQ(r.Separator, 0);
  }
  // Esc: nothing done, nothing logged.
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(Journal().empty());
}

TEST_F(PhonebookMenuTest, EmptyOrMissingPhoneBookShowsNothing) {
  WriteWorldFile("rasphone.pbk", "");
  SystemPhonebookMenu();
  Settings().phonebook = world::WindowsPath(world_dir + "/absent.pbk");
  SystemPhonebookMenu();
  EXPECT_TRUE(host->calls.empty());
  EXPECT_FALSE(host->exhausted);
}

TEST_F(PhonebookMenuTest, F4EditsTheChosenEntryAndLogsTheChange) {
  WriteRas("[phonebook]\nedit_number=t999\n");
  host->QueueMenu(1, kF4);
  SystemPhonebookMenu();
  EXPECT_EQ(host->Ops(), "Menu");
  EXPECT_EQ(Journal(), (std::vector<std::string>{"phonebook edit B", "title <28>B<27>"}));
  EXPECT_EQ(Log(), (std::vector<std::string>{"<28>B<27>"}));
  EXPECT_NE(ReadWorldFile("rasphone.pbk").find("t999"), std::string::npos);
}

TEST_F(PhonebookMenuTest, InsCreatesWhateverTheRowAndLogsEvenWhenCancelled) {
  host->QueueMenu(2, kIns);  // the system dialog is cancelled: no [phonebook] answer
  SystemPhonebookMenu();
  WriteRas("[phonebook]\ncreate_name=D\ncreate_number=t444\n");
  host->QueueMenu(0, kIns);
  SystemPhonebookMenu();
  EXPECT_EQ(Log(), (std::vector<std::string>{"<28><30>", "<28><30>"}));
  const std::vector<std::string> journal = Journal();
  EXPECT_EQ(journal[0], "phonebook create");
  EXPECT_EQ(journal[2], "phonebook create D");
  EXPECT_NE(ReadWorldFile("rasphone.pbk").find("[D]"), std::string::npos);
}

TEST_F(PhonebookMenuTest, DelDeletesOnlyWithTheFirstButton) {
  struct Case {
    int answer;
    bool deleted;
  };
  for (const Case c : {Case{1, false}, Case{-1, false}, Case{0, true}}) {
    SCOPED_TRACE(c.answer);
    host->calls.clear();
    host->QueueMenu(2, kDel);
    host->QueueMessage(c.answer);
    SystemPhonebookMenu();
    ASSERT_EQ(host->Ops(), "Menu Message");
    const HostCall& box = host->calls[1];
    EXPECT_EQ(box.flags, 0u);
    EXPECT_EQ(box.help, "(null)");
    EXPECT_EQ(box.items, (std::vector<std::string>{"<32>", "<33>C?", "<34>", "<23>"}));
    EXPECT_EQ(box.buttons, 2);
    EXPECT_EQ(ReadWorldFile("rasphone.pbk").find("[C]") == std::string::npos, c.deleted);
    EXPECT_EQ(Log().size(), c.deleted ? 1u : 0u);
  }
  EXPECT_EQ(Log(), (std::vector<std::string>{"<28>C<31>"}));
}

TEST_F(PhonebookMenuTest, EnterDialsTheEntryWithItsSavedUserName) {
  host->QueueMenu(0);
  SystemPhonebookMenu();
  EXPECT_EQ(host->Ops(), "Menu");  // connected: nothing more is shown
  EXPECT_EQ(Journal()[1], "dial t222 user=alice");
  EXPECT_EQ(Log(), (std::vector<std::string>{"<36>A"}));
  EXPECT_NE(ReadWorldFile("connections.ini").find("number=t222"), std::string::npos);
}

TEST_F(PhonebookMenuTest, EnterOnAnEntryWithoutSavedCredentialsDialsWithEmptyOnes) {
  WriteWorldFile("ras.ini", "[t333]\nstates=0,1,2\n");
  host->QueueMenu(1);
  SystemPhonebookMenu();
  EXPECT_EQ(host->Ops(), "Menu");
  EXPECT_EQ(Journal()[1], "dial t333 user=");
}

TEST_F(PhonebookMenuTest, FailedDialShowsTheServiceTextOrUnknownErrorAndLogsIt) {
  host->QueueMenu(1);  // B: error 676, which the service describes
  host->QueueMessage(0);
  SystemPhonebookMenu();
  host->QueueMenu(2);  // C: error 999, which it does not
  host->QueueMessage(0);
  SystemPhonebookMenu();
  const std::vector<HostCall> boxes = host->Calls("Message");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].flags, 1u);
  EXPECT_EQ(boxes[0].help, "(null)");
  EXPECT_EQ(boxes[0].items, (std::vector<std::string>{"<5>", "The line is busy.", "<4>"}));
  EXPECT_EQ(boxes[0].buttons, 1);
  EXPECT_EQ(boxes[1].items, (std::vector<std::string>{"<5>", "Unknown Error", "<4>"}));
  EXPECT_EQ(Log(), (std::vector<std::string>{"<36>B", "<26>The line is busy.", "<36>C", "<26>Unknown Error"}));
  // Each failed dial's handle is released.
  int hangups = 0;
  for (const std::string& line : Journal()) hangups += line.rfind("hangup ", 0) == 0;
  EXPECT_EQ(hangups, 2);
}

TEST_F(PhonebookMenuTest, MoreThanAHundredEntriesAreAllListed) {
  std::string book;
  for (int i = 1; i <= 130; ++i) book += "[E" + std::to_string(i) + "]\nPhoneNumber=t222\n";
  WriteWorldFile("rasphone.pbk", book);
  host->QueueMenu(129);
  SystemPhonebookMenu();
  const HostCall& m = host->calls.at(0);
  ASSERT_EQ(m.rows.size(), 130u);
  EXPECT_STREQ(m.rows[99].Text, "&100. E100");
  EXPECT_STREQ(m.rows[129].Text, "&130. E130");
  EXPECT_EQ(Log(), (std::vector<std::string>{"<36>E130"}));
}

TEST_F(PhonebookMenuTest, LongNameIsCutInItsRowButDialledWhole) {
  const std::string name(200, 'n');
  WriteWorldFile("rasphone.pbk", "[" + name + "]\nPhoneNumber=t222\n");
  host->QueueMenu(0);
  SystemPhonebookMenu();
  ASSERT_EQ(host->Ops(), "Menu");  // no error box: the service found the entry
  const std::string row = host->calls[0].rows[0].Text;
  EXPECT_EQ(row.size(), sizeof(HostMenuItem::Text) - 1);
  EXPECT_EQ(row, ("&1. " + name).substr(0, row.size()));
  EXPECT_EQ(Journal()[1], "dial t222 user=");
  EXPECT_EQ(Log(), (std::vector<std::string>{"<36>" + name}));
}

TEST_F(PhonebookMenuTest, PhonebookSettingServesEveryCallButTheSavedCredentials) {
  // X is in both books, Y only in the named one; both have credentials.
  WriteWorldFile("rasphone.pbk", "[X]\nPhoneNumber=t222\n");
  WriteWorldFile("other.pbk", "[X]\nPhoneNumber=t222\n\n[Y]\nPhoneNumber=t222\n");
  WriteRas("[credentials:X]\nuser=xavier\npassword=p\n\n[credentials:Y]\nuser=yvonne\npassword=p\n\n"
           "[phonebook]\ncreate_name=Z\ncreate_number=t444\nedit_number=t777\n");
  Settings().phonebook = world::WindowsPath(world_dir + "/other.pbk");

  host->QueueMenu(1);
  SystemPhonebookMenu();  // dial Y: listed from other.pbk, no credentials in the default book
  EXPECT_EQ(RowTexts(host->calls[0]), (std::vector<std::string>{"&1. X", "&2. Y"}));
  host->QueueMenu(0);
  SystemPhonebookMenu();  // dial X: its credentials come from the default book
  host->QueueMenu(1, kF4);
  SystemPhonebookMenu();
  host->QueueMenu(0, kIns);
  SystemPhonebookMenu();
  host->QueueMenu(0, kDel);
  host->QueueMessage(0);
  SystemPhonebookMenu();

  std::vector<std::string> effects;
  for (const std::string& line : Journal()) {
    if (line.rfind("title ", 0) != 0) effects.push_back(line);
  }
  EXPECT_EQ(effects, (std::vector<std::string>{"dial t222 user=", "dial t222 user=xavier", "phonebook edit Y",
                                               "phonebook create Z", "phonebook delete X"}));
  const std::string other = ReadWorldFile("other.pbk");
  EXPECT_NE(other.find("t777"), std::string::npos);
  EXPECT_NE(other.find("[Z]"), std::string::npos);
  EXPECT_EQ(other.find("[X]"), std::string::npos);
  EXPECT_EQ(ReadWorldFile("rasphone.pbk"), "[X]\nPhoneNumber=t222\n");
}

TEST_F(PhonebookMenuTest, SavedCredentialsComeFromTheDefaultPhoneBook) {
  WriteRas("[credentials:B]\nuser=bob\n");  // B: a user name, no saved password
  std::string out = "untouched";
  EXPECT_EQ(GetSavedUserName("A", out), 0u);
  EXPECT_EQ(out, "alice");
  EXPECT_EQ(GetSavedPassword("A", out), 0u);
  EXPECT_EQ(out, "pw");
  EXPECT_EQ(GetSavedUserName("B", out), 0u);
  EXPECT_EQ(out, "bob");
  EXPECT_EQ(GetSavedPassword("B", out), 0u);
  EXPECT_EQ(out, "");
  // An entry the default book lacks: the error, and the output left as it was.
  out = "untouched";
  EXPECT_NE(GetSavedUserName("Nobody", out), 0u);
  EXPECT_NE(GetSavedPassword("Nobody", out), 0u);
  EXPECT_EQ(out, "untouched");
  Settings().phonebook = world::WindowsPath(world_dir + "/absent.pbk");
  EXPECT_EQ(GetSavedUserName("A", out), 0u);
  EXPECT_EQ(out, "alice");
}

}  // namespace
