// The entry editor through the fake host: dialog layout, code pages, the
// user name, fields at their limit and file errors. The menu paths (new,
// edit, rename, delete, the number check) run end to end in
// entry_editor_kelhost_test.cpp.
#include "entries/entry_editor.h"

#include <gtest/gtest.h>

#include "entries/entry_file.h"
#include "shell/file_io.h"
#include "shell/settings.h"
#include "shell/text_helpers.h"
#include "tests/entries/entry_test_support.h"
#include "tests/fake_host.h"
#include "tests/test_only.h"

namespace {

class EntryEditorTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    Settings().logfilename = "vezuzaziz.log";
  }
  void WriteEntries(const std::vector<std::string>& plain) {
    WritePluginFile("vezuzaziz.ini", FileTextFromPlainLines(plain));
  }
  std::vector<std::string> Log() const { return LogTexts("vezuzaziz.log"); }
};

TEST_F(EntryEditorTest, NewEntryDialogLayout) {
  WriteEntries({});
  host->QueueDialog(17, {{1, "X"}});
  RunNewEntryDialog();
  ASSERT_EQ(host->Ops(), "Dialog");
  const HostCall& c = host->calls[0];
  EXPECT_EQ(c.help, "EditRecord");
  EXPECT_EQ(std::vector<int>({c.x1, c.y1, c.x2, c.y2}), std::vector<int>({-1, -1, 50, 11}));
  ASSERT_EQ(c.dialog.size(), 19u);
  for (size_t i = 0; i < 19; ++i) {
    SCOPED_TRACE(i);
    const HostDialogItem& item = c.dialog[i];
    const int row = static_cast<int>(i / 2) + 1;
    std::vector<int> want = {DI_TEXT, 2, row, 0, 0};
    std::string text = "<" + std::to_string(14 + i / 2) + ">";
    if (i % 2 == 1 && i < 16) want = {i == 5 ? DI_PSWEDIT : DI_EDIT, 20, row, 45, 0}, text = "";
    if (i == 16) want = {DI_BUTTON, 12, 10, 0, 0}, text = "<22>";
    if (i == 17) want = {DI_BUTTON, 27, 10, 0, 0}, text = "<23>";
    if (i == 18) want = {DI_DOUBLEBOX, 0, 0, 50, 11}, text = "<29>";
    EXPECT_EQ(std::vector<int>({item.Type, item.X1, item.Y1, item.X2, item.Y2}), want);
    EXPECT_EQ(std::string(item.Data), text);
    EXPECT_EQ(std::vector<int>({item.Focus, item.DefaultButton, item.Selected, static_cast<int>(item.Flags)}),
              std::vector<int>({i == 0 ? -1 : 0, i == 16 ? -1 : 0, 0, 0}));
  }
  EXPECT_EQ(LoadPlainLines(), std::vector<std::string>{});
  EXPECT_TRUE(Log().empty());
}

TEST_F(EntryEditorTest, EditShowsOemTextsAndAcceptingUnchangedKeepsTheStoredBytes) {
  // A login character with an OEM counterpart, a password character without
  // one, an interval with a leading zero, tries that are no integer.
  const std::vector<std::string> block = {"[Office]",  "Login=Jos\xE9", "Password=\x80uro", "Domain=D",
                                          "Numbers=1", "Interval=05",   "Tries=junk",       "Callback="};
  WriteEntries(block);
  host->QueueDialog(16);
  RunEditEntryDialog("Office");
  const std::vector<HostDialogItem>& items = host->calls.at(0).dialog;
  EXPECT_EQ(std::string(items[1].Data), "Office");
  EXPECT_EQ(std::string(items[3].Data), "Jos\x82");
  EXPECT_EQ(std::string(items[5].Data), ConvertToOem("\x80uro"));
  EXPECT_EQ(std::string(items[11].Data) + " " + items[13].Data, "5 1");
  EXPECT_EQ(std::string(items[18].Data), "<24>");
  std::vector<std::string> saved = block;
  saved[5] = "Interval=5";
  saved[6] = "Tries=1";
  EXPECT_EQ(LoadPlainLines(), saved);
  EXPECT_EQ(Log(), std::vector<std::string>{"<28>Office<27>"});

  // What the user types is converted from OEM to ANSI.
  host->QueueDialog(16, {{3, "Jos\x82!"}, {5, "new"}});
  RunEditEntryDialog("Office");
  ASSERT_TRUE(ReadDialEntry("Office"));
  EXPECT_EQ(CurrentEntry().Login, "Jos\xE9!");
  EXPECT_EQ(CurrentEntry().Password, "new");
}

TEST_F(EntryEditorTest, EmptyLoginBecomesTheUserNameOrStaysEmptyWhenTheSystemCannotTell) {
  WriteEntries({});
  WriteWorldFile("system.ini", "[system]\nuser=operator\n");
  host->QueueDialog(16, {{1, "A"}});
  RunNewEntryDialog();
  WriteWorldFile("system.ini", "[system]\nuser=operator\nuser_fails=1\n");
  EXPECT_EQ(OemUserName(), "");
  host->QueueDialog(16, {{1, "B"}});
  RunNewEntryDialog();
  const std::vector<std::string> lines = LoadPlainLines();
  EXPECT_EQ(lines.at(1), "Login=operator");
  EXPECT_EQ(lines.at(9), "Login=");
}

TEST_F(EntryEditorTest, FieldsAtTheirLimitAreCutByTheFile) {
  WriteEntries({});
  host->QueueDialog(16, {{1, std::string(253, 'n')}, {3, std::string(511, 'l')}, {15, std::string(511, 'c')}});
  RunNewEntryDialog();
  const std::vector<std::string> lines = LoadPlainLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "[" + std::string(253, 'n') + "]");
  EXPECT_EQ(lines[1], "Login=" + std::string(249, 'l'));
  EXPECT_EQ(lines[7], "Callback=" + std::string(246, 'c'));
  EXPECT_TRUE(ReadDialEntry(std::string(253, 'n')));
}

// A header line holds a name of at most 253 bytes whole: a longer one would
// be stored without its "]" and could never be dialled or edited again.
TEST_F(EntryEditorTest, ANameTheFileCannotHoldWholeIsRefusedWithABox) {
  WriteEntries(BlockLines({"Home", "h", "", "", "", "1", "1", ""}));
  const std::string before = ReadPluginFile("vezuzaziz.ini");
  for (size_t length : {254u, 300u}) {
    host->QueueDialog(16, {{1, std::string(length, 'n')}});
    host->QueueMessage(0);
    RunNewEntryDialog();
    host->QueueDialog(16, {{1, std::string(length, 'r')}});
    host->QueueMessage(0);
    RunEditEntryDialog("Home");
  }
  EXPECT_EQ(host->Ops(), "Dialog Message Dialog Message Dialog Message Dialog Message");
  EXPECT_EQ(host->calls[1].flags, FMSG_WARNING);
  EXPECT_NE(host->calls[1].items.at(1).find("253"), std::string::npos);
  EXPECT_EQ(ReadPluginFile("vezuzaziz.ini"), before);
  EXPECT_TRUE(Log().empty());
}

TEST_F(EntryEditorTest, AnEmptiedNameInTheEditDialogChangesNothing) {
  WriteEntries(BlockLines({"Home", "h", "", "", "", "1", "1", ""}));
  const std::string before = ReadPluginFile("vezuzaziz.ini");
  host->QueueDialog(16, {{1, ""}, {3, "changed"}});
  RunEditEntryDialog("Home");
  RunEditEntryDialog("Nowhere");  // no such entry: no dialog
  EXPECT_EQ(host->Ops(), "Dialog");
  EXPECT_EQ(ReadPluginFile("vezuzaziz.ini"), before);
  EXPECT_TRUE(Log().empty());
}

TEST_F(EntryEditorTest, AFileErrorEndsTheActionWithoutALogLine) {
  host->QueueDialog(16, {{1, "X"}});
  EXPECT_THROW(RunNewEntryDialog(), IoError);
  host->QueueMessage(0);
  EXPECT_THROW(ConfirmDeleteEntry("X"), IoError);
  EXPECT_TRUE(Log().empty());
  EXPECT_FALSE(PluginFileExists("vezuzaziz.ini"));
}

}  // namespace
