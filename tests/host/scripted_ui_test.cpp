// The host operations with the scripted UI, called in-process through the
// HostStartupInfo record as a plug-in would: the answers the plug-in gets,
// and the transcript lines and error lines the calls leave.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_operations.h"
#include "host/scripted_ui.h"

#include <unistd.h>

namespace {

class KelhostScriptedUi : public ::testing::Test {
 protected:
  void Start(const std::string& script) {
    std::vector<ScriptAnswer> answers;
    std::string error;
    ASSERT_TRUE(ParseScript(script, answers, error)) << error;
    out_ = std::tmpfile();
    transcript_ = std::make_unique<Transcript>(out_, nullptr);
    std::string lang_error;
    ASSERT_TRUE(language_.Parse("1=Dial-up\n4=OK\n5=Warning\n", lang_error));
    ui_ = std::make_unique<ScriptedUi>(std::move(answers), *transcript_);
    session_ = std::make_unique<HostSession>(*ui_, *transcript_, language_, true);
    host_ = session_->MakeStartupInfo("Z:\\p\\vezuzaziz.so");
  }
  void TearDown() override {
    session_.reset();
    if (out_) std::fclose(out_);
  }
  // The transcript lines written so far.
  std::vector<std::string> Lines() {
    std::fflush(out_);
    std::rewind(out_);
    std::vector<std::string> lines;
    std::string line;
    for (int c; (c = std::fgetc(out_)) != EOF;) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += static_cast<char>(c);
      }
    }
    return lines;
  }
  std::string Last() {
    auto lines = Lines();
    return lines.empty() ? "" : lines.back();
  }
  int Errors() const { return transcript_->ErrorCount(); }

  int Menu(const std::vector<HostMenuItem>& rows, const int* keys, int* break_code) {
    return host_.Menu(host_.PluginId, -1, -1, 0, 2, "T", "B", "MainMenu", keys, break_code, rows.data(),
                      static_cast<int>(rows.size()));
  }
  int Message(std::vector<const char*> items, int buttons) {
    return host_.Message(host_.PluginId, 0, nullptr, items.data(), static_cast<int>(items.size()), buttons);
  }

  std::FILE* out_ = nullptr;
  std::unique_ptr<Transcript> transcript_;
  LanguageFile language_;
  std::unique_ptr<ScriptedUi> ui_;
  std::unique_ptr<HostSession> session_;
  HostStartupInfo host_{};
};

HostMenuItem Row(const char* text, int separator = 0) {
  HostMenuItem row{};
  std::snprintf(row.Text, sizeof row.Text, "%s", text);
  row.Separator = separator;
  return row;
}

HostDialogItem Item(int type, const char* data, int selected = 0, unsigned flags = 0) {
  HostDialogItem item{};
  item.Type = type;
  item.Selected = selected;
  item.Flags = flags;
  std::snprintf(item.Data, sizeof item.Data, "%s", data);
  return item;
}

const int kMainKeys[] = {115, 45, 46, 0};

TEST_F(KelhostScriptedUi, MenuBreakKeysMapToTheirIndexInThePluginsList) {
  Start("menu 1 f4\nmenu 0 del\nmenu 2 ins\nmenu 0\nmenu 1 2\nmenu esc\n");
  const std::vector<HostMenuItem> rows = {Row("&1. Office"), Row("&2. Home"), Row("Hang up")};
  int code = 99;
  EXPECT_EQ(Menu(rows, kMainKeys, &code), 1);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Last(),
            "Menu x=-1 y=-1 maxh=0 flags=2 title=\"T\" bottom=\"B\" help=\"MainMenu\" breakkeys=[115,45,46] "
            "rows=[{\"&1. Office\" sel=0 chk=0 sep=0},{\"&2. Home\" sel=0 chk=0 sep=0},"
            "{\"Hang up\" sel=0 chk=0 sep=0}] -> 1 break=0");
  EXPECT_EQ(Menu(rows, kMainKeys, &code), 0);
  EXPECT_EQ(code, 2);
  EXPECT_EQ(Menu(rows, kMainKeys, &code), 2);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Menu(rows, kMainKeys, &code), 0);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(Menu(rows, kMainKeys, &code), 1);
  EXPECT_EQ(code, 2);
  EXPECT_EQ(Menu(rows, kMainKeys, &code), -1);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(Last().substr(Last().size() - 15), " -> -1 break=-1");
  EXPECT_EQ(Errors(), 0);
}

TEST_F(KelhostScriptedUi, MenuAnswersThatCannotBeGivenBecomeEscWithAnError) {
  Start("menu 0 f5\nmenu 1\nmenu 9\nmenu 0 3\nmenu 0 f4\n");
  const std::vector<HostMenuItem> rows = {Row("a"), Row("", -1), Row("b")};
  int code = 99;
  EXPECT_EQ(Menu(rows, kMainKeys, &code), -1);  // F5 is not a break key
  EXPECT_EQ(Menu(rows, kMainKeys, &code), -1);  // a separator
  EXPECT_EQ(Menu(rows, kMainKeys, &code), -1);  // no such row
  EXPECT_EQ(Menu(rows, kMainKeys, &code), -1);  // index past the list
  EXPECT_EQ(Menu(rows, nullptr, nullptr), -1);  // no break keys at all
  EXPECT_EQ(code, -1);
  EXPECT_EQ(Errors(), 5);
  const auto lines = Lines();
  EXPECT_EQ(lines[0], "! script line 1: the key is not in the menu's break-key list; answered Esc: menu 0 f5");
  EXPECT_EQ(lines[2], "! script line 2: row 1 is a separator; answered Esc: menu 1");
  EXPECT_NE(Last().find("breakkeys=null"), std::string::npos);
  EXPECT_NE(Last().find("-> -1 break=null"), std::string::npos);
}

TEST_F(KelhostScriptedUi, AnswerOfTheWrongKindIsConsumedAndAnsweredEsc) {
  Start("dialog 3\nmessage 0\n");
  const std::vector<HostMenuItem> rows = {Row("a")};
  int code = 0;
  EXPECT_EQ(Menu(rows, kMainKeys, &code), -1);
  EXPECT_EQ(Lines()[0], "! script line 1: a dialog answer for a Menu call; answered Esc: dialog 3");
  EXPECT_EQ(Message({"T", "line", "OK"}, 1), 0);
  // The script has ended: Esc, noted.
  EXPECT_EQ(Message({"T", "line", "OK"}, 1), -1);
  EXPECT_EQ(Lines()[3], "! script ended before a Message call; answered Esc");
  EXPECT_EQ(Errors(), 2);
}

TEST_F(KelhostScriptedUi, DialogEditsAreWrittenBackAndTranscribed) {
  Start("dialog 6 set 1 \"Office\" set 2 \"pw\" check 3 0 check 5 1\n");
  HostDialogItem items[] = {Item(DI_DOUBLEBOX, "Title"), Item(DI_EDIT, "old"), Item(DI_PSWEDIT, ""),
                            Item(DI_CHECKBOX, "c", 1),   Item(DI_RADIOBUTTON, "A", 1, DIF_GROUP),
                            Item(DI_RADIOBUTTON, "B"),   Item(DI_BUTTON, "OK")};
  items[6].DefaultButton = -1;
  EXPECT_EQ(host_.Dialog(host_.PluginId, -1, -1, 30, 8, "Config", items, 7), 6);
  EXPECT_STREQ(items[1].Data, "Office");
  EXPECT_STREQ(items[2].Data, "pw");
  EXPECT_EQ(items[3].Selected, 0);
  EXPECT_EQ(items[4].Selected, 0);  // the group's other button goes off
  EXPECT_EQ(items[5].Selected, 1);
  const std::string line = Last();
  EXPECT_EQ(line.rfind("Dialog x1=-1 y1=-1 x2=30 y2=8 help=\"Config\" items=[{type=3 x1=0 y1=0 x2=0 y2=0 focus=0 "
                       "sel=0 flags=0x0 def=0 data=\"Title\"},"),
            0u)
      << line;
  EXPECT_NE(line.find("{type=9 x1=0 y1=0 x2=0 y2=0 focus=0 sel=1 flags=0x400 def=0 data=\"A\"}"), std::string::npos);
  EXPECT_EQ(line.substr(line.find(" -> ")),
            " -> 6 set[1]=\"Office\" set[2]=\"pw\" check[3]=0 check[4]=0 check[5]=1");
  EXPECT_EQ(Errors(), 0);
}

TEST_F(KelhostScriptedUi, RadioGroupsEndAtTheNextGroupStart) {
  Start("dialog 0 check 1 1\n");
  HostDialogItem items[] = {Item(DI_RADIOBUTTON, "A", 1, DIF_GROUP), Item(DI_RADIOBUTTON, "B"),
                            Item(DI_RADIOBUTTON, "C", 1, DIF_GROUP), Item(DI_RADIOBUTTON, "D")};
  host_.Dialog(host_.PluginId, -1, -1, 30, 8, nullptr, items, 4);
  EXPECT_EQ(items[0].Selected, 0);
  EXPECT_EQ(items[1].Selected, 1);
  EXPECT_EQ(items[2].Selected, 1);
}

TEST_F(KelhostScriptedUi, DialogEnterEscAndMisfits) {
  Start("dialog enter\ndialog enter\ndialog esc set 1 \"x\"\ndialog 1 set 0 \"x\"\ndialog 1 check 1 1\n"
        "dialog 9\ndialog 1 set 1 \"" + std::string(600, 'y') + "\"\n");
  HostDialogItem items[] = {Item(DI_TEXT, "Label"), Item(DI_EDIT, "e"), Item(DI_BUTTON, "OK")};
  EXPECT_EQ(host_.Dialog(host_.PluginId, -1, -1, 30, 8, nullptr, items, 3), -1);  // no default button
  items[2].DefaultButton = 1;
  EXPECT_EQ(host_.Dialog(host_.PluginId, -1, -1, 30, 8, nullptr, items, 3), 2);
  // Esc still hands back what was typed, as a host does when the user edits
  // and then presses Esc.
  EXPECT_EQ(host_.Dialog(host_.PluginId, -1, -1, 30, 8, nullptr, items, 3), -1);
  EXPECT_STREQ(items[1].Data, "x");
  EXPECT_EQ(host_.Dialog(host_.PluginId, -1, -1, 30, 8, nullptr, items, 3), -1);  // a label is not editable
  EXPECT_EQ(host_.Dialog(host_.PluginId, -1, -1, 30, 8, nullptr, items, 3), -1);  // an edit is not a check box
  EXPECT_EQ(host_.Dialog(host_.PluginId, -1, -1, 30, 8, nullptr, items, 3), -1);  // no item 9
  EXPECT_EQ(Errors(), 4);
  EXPECT_STREQ(items[0].Data, "Label");
  // An edit field holds 511 bytes.
  EXPECT_EQ(host_.Dialog(host_.PluginId, -1, -1, 30, 8, nullptr, items, 3), 1);
  EXPECT_EQ(std::strlen(items[1].Data), 511u);
}

TEST_F(KelhostScriptedUi, MessageButtonsAndBoxesThatStayUntilRestored) {
  Start("message 1\nmessage 2\n");
  EXPECT_EQ(Message({"Delete", "Delete the entry Office?", "Delete", "Cancel"}, 2), 1);
  EXPECT_EQ(Last(), "Message flags=0 help=null items=[\"Delete\",\"Delete the entry Office?\",\"Delete\",\"Cancel\"] "
                    "buttons=2 -> 1");
  EXPECT_EQ(Message({"T", "OK"}, 1), -1);
  EXPECT_EQ(Errors(), 1);

  void* outer = host_.SaveScreen(0, 0, -1, -1);
  EXPECT_EQ(Message({"Dialling ", "Tries left: 3", "\x01", "Esc stops"}, 0), -1);
  EXPECT_EQ(Last(), "Message flags=0 help=null items=[\"Dialling \",\"Tries left: 3\",\"\\x01\",\"Esc stops\"] "
                    "buttons=0 -> -1");
  void* inner = host_.SaveScreen(0, 0, -1, -1);
  Message({"Error", "busy"}, 0);
  EXPECT_EQ(ui_->BoxesOnScreen().size(), 2u);
  host_.RestoreScreen(inner);
  EXPECT_EQ(ui_->BoxesOnScreen().size(), 1u);
  host_.RestoreScreen(outer);
  EXPECT_TRUE(ui_->BoxesOnScreen().empty());
  EXPECT_EQ(session_->OpenScreens(), 0);
  auto lines = Lines();
  EXPECT_EQ(lines[lines.size() - 6], "SaveScreen 0 0 -1 -1 -> 1");
  EXPECT_EQ(lines.back(), "RestoreScreen 1");
  EXPECT_EQ(Errors(), 1);
}

TEST_F(KelhostScriptedUi, BreachesOfTheHostsRulesAreErrorLines) {
  Start("");
  host_.RestoreScreen(reinterpret_cast<void*>(static_cast<intptr_t>(7)));
  EXPECT_EQ(Last(), "! RestoreScreen: handle 7 is not a saved screen");
  EXPECT_STREQ(host_.GetMessageText(host_.PluginId + 1, 4), "OK");
  auto lines = Lines();
  EXPECT_EQ(lines[lines.size() - 2], "! GetMessageText: PluginId 0x4b454d is not the host's 0x4b454c");
  EXPECT_EQ(lines.back(), "GetMessageText 4 -> \"OK\"");
  const char* items[] = {"T"};
  host_.Message(host_.PluginId, 1, nullptr, items, 1, 1);  // a button but no room for it
  EXPECT_NE(Lines()[4].find("1 buttons in a box of 1 items"), std::string::npos);
  HostMenuItem unterminated{};
  std::memset(unterminated.Text, 'x', sizeof unterminated.Text);
  int code = 0;
  host_.Menu(host_.PluginId, -1, -1, 0, 2, nullptr, nullptr, nullptr, nullptr, &code, &unterminated, 1);
  EXPECT_NE(Lines()[6].find("the text of row 0 has no closing zero"), std::string::npos);
  EXPECT_NE(Last().find("title=null bottom=null help=null"), std::string::npos);
}

TEST_F(KelhostScriptedUi, MessageTextsAndText) {
  Start("");
  EXPECT_STREQ(host_.GetMessageText(host_.PluginId, 6), "");
  EXPECT_EQ(Last(), "GetMessageText 6 -> \"\" missing");
  EXPECT_STREQ(host_.GetMessageText(host_.PluginId, 128 + 5), "Warning");
  EXPECT_EQ(Last(), "GetMessageText 133 -> \"Warning\"");
  host_.Text(0, 0, 7, "Dialling 222");
  EXPECT_EQ(Last(), "Text x=0 y=0 color=7 text=\"Dialling 222\"");
  host_.Text(0, 0, 7, nullptr);
  EXPECT_EQ(Last(), "Text x=0 y=0 color=7 text=null");
  EXPECT_EQ(Errors(), 0);
}

TEST_F(KelhostScriptedUi, ViewerDumpsAndEditorTakesOnlyEditLines) {
  char dir_template[] = "/tmp/kelhost_ui_XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  { std::ofstream(dir + "/v.log", std::ios::binary) << "first \\ line\r\nsecond\x01\n"; }
  Start("edit append \"#Title\\r\\n\"\nmenu esc\n");
  std::string win = "Z:" + dir + "/";
  for (char& c : win) c = c == '/' ? '\\' : c;
  host_ = session_->MakeStartupInfo(win + "vezuzaziz.so");

  EXPECT_EQ(host_.Viewer((win + "v.log").c_str(), nullptr, 0, 0, -1, -1, 0), 1);
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4], "--- end");
  EXPECT_EQ(lines[0], "Viewer file=\"<plugdir>\\\\v.log\" title=null x1=0 y1=0 x2=-1 y2=-1 flags=0 -> 1");
  EXPECT_EQ(lines[1], "--- view");
  EXPECT_EQ(lines[2], "first \\ line");
  EXPECT_EQ(lines[3], "second\\x01");
  EXPECT_EQ(host_.Viewer((win + "none.log").c_str(), nullptr, 0, 0, -1, -1, 0), 0);

  const std::string list = win + "startup.lst";
  EXPECT_EQ(host_.Editor(list.c_str(), nullptr, 0, 0, -1, -1, 0, 1, 1), 1);
  EXPECT_EQ(Last(), "Editor file=\"<plugdir>\\\\startup.lst\" title=null x1=0 y1=0 x2=-1 y2=-1 flags=0 line=1 "
                    "col=1 -> 1");
  // The next line is not an edit line: it stays for the menu.
  EXPECT_EQ(host_.Editor(list.c_str(), nullptr, 0, 0, -1, -1, 0, 1, 1), 2);
  std::ifstream in(dir + "/startup.lst", std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "#Title\r\n");
  int code = 0;
  const std::vector<HostMenuItem> rows = {Row("a")};
  EXPECT_EQ(Menu(rows, kMainKeys, &code), -1);
  EXPECT_EQ(Errors(), 0);
  std::remove((dir + "/v.log").c_str());
  std::remove((dir + "/startup.lst").c_str());
  rmdir(dir.c_str());
}

TEST_F(KelhostScriptedUi, UnusedAnswersAreReported) {
  Start("message 0\nmenu 1\n");
  EXPECT_EQ(Message({"T", "OK"}, 1), 0);
  ui_->ReportUnusedAnswers();
  EXPECT_EQ(Last(), "! script line 2: no call used this answer: menu 1");
  EXPECT_EQ(Errors(), 1);
}

}  // namespace
