// The help file, the lasting scene (save, restore, Text over a box) and
// the painters on canvases of every size.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/terminal/canvas.h"
#include "host/terminal/help_file.h"
#include "host/terminal/painters.h"
#include "host/terminal/scene.h"

namespace {

TEST(HelpFile, TopicsTitlesAndEscapes) {
  HelpFile help;
  std::string error;
  ASSERT_TRUE(
      help.Parse("notes for translators\r\n@MainMenu Dial-up: the main menu\r\n\r\nFirst line\r\n"
                 "@@ starts with an at sign\r\n\r\n  indented\r\n\r\n@Config\nSettings text\n",
                 error))
      << error;
  ASSERT_EQ(help.Topics().size(), 2u);
  const HelpTopic* menu = help.Find("mainmenu");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->title, "Dial-up: the main menu");
  EXPECT_EQ(menu->lines, (std::vector<std::string>{"First line", "@ starts with an at sign", "", "  indented"}));
  const HelpTopic* config = help.Find("Config");
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(config->title, "Config");
  EXPECT_EQ(help.Find("External"), nullptr);
}

TEST(HelpFile, ErrorsNameTheLineAndLeaveTheTopicsAsTheyWere) {
  HelpFile help;
  std::string error;
  ASSERT_TRUE(help.Parse("@A\ntext\n", error));
  EXPECT_FALSE(help.Parse("@B\nx\n@b again\n", error));
  EXPECT_EQ(error, "line 3: the topic b appears twice");
  EXPECT_FALSE(help.Parse("@B\n@ no name\n", error));
  EXPECT_EQ(error.rfind("line 2:", 0), 0u);
  EXPECT_NE(help.Find("A"), nullptr);
  EXPECT_FALSE(help.Load("/nonexistent/vezuzaziz.hlp", error));
}

TEST(HelpFile, TheShippedFileHasEveryTopicThePlugInNames) {
  HelpFile help;
  std::string error;
  ASSERT_TRUE(help.Load(std::string(VEZ_SOURCE_DIR) + "/lang/vezuzaziz.hlp", error)) << error;
  for (const char* topic : {"MainMenu", "External", "EditRecord", "Config"}) {
    const HelpTopic* t = help.Find(topic);
    ASSERT_NE(t, nullptr) << topic;
    EXPECT_GT(t->lines.size(), 5u) << topic;
    for (const std::string& line : t->lines) EXPECT_LE(line.size(), 72u) << topic << ": " << line;
  }
}

TEST(HelpFile, WrappingKeepsWordsAndHangingIndents) {
  EXPECT_EQ(WrapLines({"one two three four"}, 9), (std::vector<std::string>{"one two", "three", "four"}));
  EXPECT_EQ(WrapLines({"  Enter   dials the entry under the cursor"}, 24),
            (std::vector<std::string>{"  Enter   dials the", "          entry under", "          the cursor"}));
  EXPECT_EQ(WrapLines({"abcdefghij"}, 4), (std::vector<std::string>{"abcd", "efgh", "ij"}));
  EXPECT_EQ(WrapLines({"", "x"}, 4), (std::vector<std::string>{"", "x"}));
  for (const std::string& line : WrapLines({"    a b c d e f g h i j k l m n o p"}, 3)) EXPECT_LE(line.size(), 3u);
}

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(codec.Open("CP437", error));
  }
  // The canvas's text, rows joined by newlines.
  static std::string Screen(const Canvas& c) {
    std::string out;
    for (int y = 0; y < c.Height(); ++y) out += c.RowText(y) + "\n";
    return out;
  }
  static bool Shows(const Canvas& c, const std::string& text) { return Screen(c).find(text) != std::string::npos; }
  OemCodec codec;
};

const std::vector<std::string> kDialBox = {"Dialling ", "Tries left: 3", "p555-0100", kMessageSeparator,
                                           "Esc stops dialling"};

TEST_F(ScreenTest, TextOverABoxWithoutButtonsAndRestoreOfTheWholeScreen) {
  Scene scene;
  Canvas canvas(80, 25);
  scene.Save(1, 0, 0, -1, -1, 80, 25);
  scene.AddBox(0, kDialBox);
  scene.AddText(0, 0, 7, U"Connecting the device");
  scene.Paint(canvas, codec);
  EXPECT_TRUE(Shows(canvas, "Tries left: 3"));
  EXPECT_TRUE(Shows(canvas, "\u2550 Dialling \u2550"));  // the title's trailing blank left out
  EXPECT_TRUE(Shows(canvas, "\u255F\u2500\u2500"));  // the separator line
  EXPECT_EQ(canvas.RowText(0).rfind("Connecting the device", 0), 0u);
  EXPECT_EQ(canvas.At(0, 0).color, 7);

  ASSERT_TRUE(scene.Restore(1, 80, 25, codec));
  EXPECT_FALSE(scene.Restore(1, 80, 25, codec));  // a handle is restored once
  scene.Paint(canvas, codec);
  EXPECT_FALSE(Shows(canvas, "Tries left"));
  EXPECT_FALSE(Shows(canvas, "Connecting"));
  Canvas background(80, 25);
  PaintBackground(background);
  EXPECT_EQ(Screen(canvas), Screen(background));
}

TEST_F(ScreenTest, NestedSavesAndAPartialRestore) {
  Scene scene;
  scene.AddText(0, 0, 7, U"first");
  scene.Save(1, 0, 0, -1, -1, 80, 25);
  scene.AddBox(1, {"Warning", "outer"});
  scene.Save(2, 0, 0, 9, 0, 80, 25);  // the first ten cells of row 0 only
  scene.AddBox(0, {"Inner", "inner box"});
  scene.AddText(0, 0, 7, U"second text");
  ASSERT_TRUE(scene.Restore(2, 80, 25, codec));
  Canvas canvas(80, 25);
  scene.Paint(canvas, codec);
  EXPECT_EQ(canvas.RowText(0).substr(0, 11), "first     t");  // only the saved area came back
  EXPECT_TRUE(Shows(canvas, "inner box"));
  ASSERT_TRUE(scene.Restore(1, 80, 25, codec));
  scene.Paint(canvas, codec);
  EXPECT_FALSE(Shows(canvas, "outer"));
  EXPECT_FALSE(Shows(canvas, "inner"));
  EXPECT_EQ(canvas.RowText(0).substr(0, 5), "first");
}

TEST_F(ScreenTest, RepeatedStateTextsShareOneLayer) {
  Scene scene;
  scene.AddBox(0, kDialBox);
  for (int i = 0; i < 1000; ++i) scene.AddText(0, 0, 7, U"state " + std::u32string(1, U'0' + i % 10));
  EXPECT_EQ(scene.LayerCount(), 2u);
  scene.AddText(-5, 100000, 7, U"far away");  // clipped, never a crash
  Canvas canvas(40, 10);
  scene.Paint(canvas, codec);
  EXPECT_EQ(canvas.RowText(0).substr(0, 7), "state 9");
}

TEST_F(ScreenTest, BoxesAreCentredAgainAfterAResize) {
  Scene scene;
  scene.AddBox(0, kDialBox);
  Canvas wide(100, 30), narrow(30, 12);
  scene.Paint(wide, codec);
  scene.Paint(narrow, codec);
  EXPECT_TRUE(Shows(wide, "Tries left: 3"));
  EXPECT_TRUE(Shows(narrow, "Tries left: 3"));
  // 22 by 6 cells, centred: on 30 by 12 from column 4, row 3.
  EXPECT_EQ(narrow.At(4, 3).ch, frame::kDTL) << Screen(narrow);
  EXPECT_EQ(narrow.At(25, 8).ch, frame::kDBR);
  EXPECT_EQ(wide.At(39, 12).ch, frame::kDTL) << Screen(wide);
}

TEST_F(ScreenTest, MessageBoxesWrapAndStyleWarnings) {
  Canvas canvas(30, 12);
  const BoxRect r = PaintMessage(canvas, codec, FMSG_WARNING, {"Warning", std::string(60, 'x'), "OK"}, 1, 0);
  EXPECT_GE(r.x1, 0);
  EXPECT_LT(r.x2, 30);
  EXPECT_EQ(canvas.At(r.x1 + 2, r.y1 + 1).color, color::kWarning);
  EXPECT_TRUE(Shows(canvas, "[ OK ]"));
  EXPECT_EQ(canvas.At(r.x1 + 2, r.y1 + 1).ch, U'x');
  EXPECT_EQ(canvas.At(r.x1 + 2, r.y1 + 2).ch, U'x');  // the long line wrapped
}

TEST_F(ScreenTest, MenusShowHotKeysChecksAndTheCursor) {
  std::vector<HostMenuItem> rows(3);
  std::snprintf(rows[0].Text, sizeof rows[0].Text, "&1. B\x81ro");
  rows[1].Separator = 1;
  std::snprintf(rows[2].Text, sizeof rows[2].Text, "current.log");
  rows[2].Checked = 1;
  std::vector<MenuModel::Row> model_rows;
  for (const HostMenuItem& row : rows)
    model_rows.push_back({ParseHotKey(row.Text), row.Checked != 0, row.Separator != 0});
  MenuModel model(model_rows, -1);
  MenuCall call;
  call.title = "Dial-up ";
  call.bottom = " Enter dial";
  call.rows = rows.data();
  call.row_count = 3;
  Canvas canvas(60, 20);
  const BoxRect r = PaintMenu(canvas, codec, call, model);
  EXPECT_TRUE(Shows(canvas, "1. B\u00FCro"));
  EXPECT_TRUE(Shows(canvas, "\u221A current.log"));
  EXPECT_TRUE(Shows(canvas, "\u2550 Dial-up \u2550"));  // blanks at either end left out
  EXPECT_TRUE(Shows(canvas, "\u2550 Enter dial \u2550"));
  EXPECT_EQ(canvas.At(r.x1 + 4, r.y1 + 1).color, color::kMenuCursorHot);
  EXPECT_EQ(canvas.At(r.x1 + 5, r.y1 + 1).color, color::kMenuCursor);
  EXPECT_EQ(canvas.At(r.x1, r.y1 + 2).ch, frame::kDVSL);
}

TEST_F(ScreenTest, DialogsMaskPasswordsAndSurviveAnyCanvasSize) {
  std::vector<HostDialogItem> items(4);
  items[0].Type = DI_DOUBLEBOX;
  items[0].X2 = 50;
  items[0].Y2 = 11;
  std::snprintf(items[0].Data, sizeof items[0].Data, "Edit entry");
  items[1].Type = DI_TEXT;
  items[1].X1 = 2;
  items[1].Y1 = 3;
  std::snprintf(items[1].Data, sizeof items[1].Data, "Password:");
  items[2].Type = DI_PSWEDIT;
  items[2].X1 = 20;
  items[2].Y1 = 3;
  items[2].X2 = 45;
  std::snprintf(items[2].Data, sizeof items[2].Data, "secret");
  items[3].Type = DI_BUTTON;
  items[3].X1 = 12;
  items[3].Y1 = 10;
  std::snprintf(items[3].Data, sizeof items[3].Data, "Save");
  std::vector<EditField> fields(4);
  fields[2] = EditField(items[2].Data);
  DialogCall call{-1, -1, 50, 11, "EditRecord"};
  DialogView view{&call, items.data(), 4, &fields, 2};

  Canvas canvas(100, 30);
  PaintDialog(canvas, codec, view);
  EXPECT_TRUE(Shows(canvas, "Password:         ******"));
  EXPECT_FALSE(Shows(canvas, "secret"));
  EXPECT_TRUE(Shows(canvas, " Edit entry "));
  EXPECT_TRUE(canvas.CursorVisible());

  for (int w : {0, 1, 5, 20, 40}) {
    for (int h : {0, 1, 3, 8}) {
      Canvas small(w, h);
      PaintDialog(small, codec, view);
      PaintMessage(small, codec, 0, kDialBox, 0, -1);
      PaintBackground(small);
    }
  }
  Canvas narrow(30, 8);  // the focused field is shown even so
  PaintDialog(narrow, codec, view);
  EXPECT_TRUE(Shows(narrow, "******"));
}

}  // namespace
