// Menu, dialog and edit-field behaviour apart from the screen.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/terminal/dialog_model.h"
#include "host/terminal/menu_model.h"
#include "host/terminal/pager.h"

namespace {

TEST(HotKeys, AmpersandMarksTheNextCharacter) {
  const HotKeyText entry = ParseHotKey("&1. Office");
  EXPECT_EQ(entry.text, "1. Office");
  EXPECT_EQ(entry.HotKey(), '1');
  EXPECT_EQ(ParseHotKey("&10. Ten").HotKey(), '1');
  const HotKeyText middle = ParseHotKey("Hang &up");
  EXPECT_EQ(middle.text, "Hang up");
  EXPECT_EQ(middle.hot_index, 5);
  const HotKeyText doubled = ParseHotKey("A && B &c &d&");
  EXPECT_EQ(doubled.text, "A & B c d");
  EXPECT_EQ(doubled.HotKey(), 'c');
  EXPECT_EQ(ParseHotKey("plain").hot_index, -1);
}

std::vector<MenuModel::Row> Rows(const std::vector<const char*>& texts) {
  std::vector<MenuModel::Row> rows;
  for (const char* t : texts) {
    MenuModel::Row row;
    row.separator = t == nullptr;
    if (t != nullptr) row.label = ParseHotKey(t);
    rows.push_back(row);
  }
  return rows;
}

TEST(MenuModel, CursorStartsOnTheSelectedRowOrTheFirstThatCanBeChosen) {
  EXPECT_EQ(MenuModel(Rows({"a", "b", "c"}), 2).Cursor(), 2);
  EXPECT_EQ(MenuModel(Rows({nullptr, "a", "b"}), -1).Cursor(), 1);
  EXPECT_EQ(MenuModel(Rows({"a", nullptr, "b"}), 1).Cursor(), 0);  // a separator cannot be selected
  MenuModel empty(Rows({nullptr, nullptr}), -1);
  EXPECT_EQ(empty.Cursor(), -1);
  empty.Down();
  empty.End();
  EXPECT_EQ(empty.Cursor(), -1);
}

TEST(MenuModel, ArrowsSkipSeparatorsAndWrap) {
  // The main menu's shape: three entries, then action rows between separators.
  MenuModel m(
      Rows({"&1. A", "&2. B", "&3. C", nullptr, "Hang up", nullptr, "Phone book", nullptr, "View", "Choose", nullptr}),
      0);
  m.Up();
  EXPECT_EQ(m.Cursor(), 9);
  m.Down();
  EXPECT_EQ(m.Cursor(), 0);
  m.MoveTo(2);
  m.Down();
  EXPECT_EQ(m.Cursor(), 4);
  m.Down();
  EXPECT_EQ(m.Cursor(), 6);
  m.MoveTo(3);  // a separator: ignored
  EXPECT_EQ(m.Cursor(), 6);
  m.End();
  EXPECT_EQ(m.Cursor(), 9);
  m.Home();
  EXPECT_EQ(m.Cursor(), 0);
}

TEST(MenuModel, ThousandsOfRowsScrollAPageAtATime) {
  std::vector<MenuModel::Row> rows(3000);
  MenuModel m(std::move(rows), 0);
  m.SetPageHeight(20);
  EXPECT_EQ(m.Top(), 0);
  for (int i = 0; i < 25; ++i) m.Down();
  EXPECT_EQ(m.Cursor(), 25);
  EXPECT_EQ(m.Top(), 6);  // the cursor row is the page's last
  m.PageDown();
  EXPECT_EQ(m.Cursor(), 44);
  EXPECT_GE(m.Cursor(), m.Top());
  EXPECT_LT(m.Cursor(), m.Top() + 20);
  m.End();
  EXPECT_EQ(m.Cursor(), 2999);
  EXPECT_EQ(m.Top(), 2980);
  m.PageUp();
  EXPECT_EQ(m.Cursor(), 2980);
  m.Down();  // wraps to the first row and shows it
  m.End();
  m.Down();
  EXPECT_EQ(m.Cursor(), 0);
  EXPECT_EQ(m.Top(), 0);
  // A smaller page after a resize still shows the cursor.
  m.MoveTo(100);
  m.SetPageHeight(5);
  EXPECT_LE(m.Top(), 100);
  EXPECT_GT(m.Top() + 5, 100);
}

TEST(MenuModel, HotKeysIgnoreCaseAndSeparators) {
  MenuModel m(Rows({"&1. One", "&a Apple", nullptr, "&10. Ten", "&B b"}), 0);
  EXPECT_EQ(m.HotKeyRows('1'), (std::vector<int>{0, 3}));
  EXPECT_EQ(m.HotKeyRows('A'), (std::vector<int>{1}));
  EXPECT_EQ(m.HotKeyRows('b'), (std::vector<int>{4}));
  EXPECT_TRUE(m.HotKeyRows('z').empty());
}

HostDialogItem Item(int type, int x1, int y1, int x2, const char* data, unsigned flags = 0) {
  HostDialogItem item{};
  item.Type = type;
  item.X1 = x1;
  item.Y1 = y1;
  item.X2 = x2;
  item.Flags = flags;
  std::snprintf(item.Data, sizeof item.Data, "%s", data);
  return item;
}

TEST(DialogModel, ItemsTakeTheirKindsDefaultSizes) {
  EXPECT_EQ(ItemBounds(Item(DI_TEXT, 2, 1, 0, "Name:"), 51, 12).x2, 6);
  EXPECT_EQ(ItemBounds(Item(DI_EDIT, 20, 1, 45, ""), 51, 12).x2, 45);
  EXPECT_EQ(ItemBounds(Item(DI_EDIT, 20, 1, 0, ""), 51, 12).x2, 49);
  EXPECT_EQ(ItemBounds(Item(DI_BUTTON, 35, 5, 0, "Edit"), 43, 19).x2, 40);  // "[Edit]" stays inside a frame at 42
  EXPECT_EQ(ItemBounds(Item(DI_CHECKBOX, 5, 9, 0, "Debug"), 43, 19).x2, 13);
  HostDialogItem frame = Item(DI_DOUBLEBOX, 0, 0, 0, "Title");
  const ItemRect whole = ItemBounds(frame, 43, 19);
  EXPECT_EQ(whole.x2, 42);
  EXPECT_EQ(whole.y2, 18);
}

TEST(DialogModel, FocusSkipsLabelsAndFramesAndWraps) {
  // Label, edit, label, password, button, frame.
  std::vector<HostDialogItem> items = {Item(DI_TEXT, 2, 1, 0, "Name:"),     Item(DI_EDIT, 20, 1, 45, ""),
                                       Item(DI_TEXT, 2, 2, 0, "Password:"), Item(DI_PSWEDIT, 20, 2, 45, ""),
                                       Item(DI_BUTTON, 12, 4, 0, "Save"),   Item(DI_DOUBLEBOX, 0, 0, 50, "T")};
  const int n = static_cast<int>(items.size());
  EXPECT_EQ(InitialFocus(items.data(), n), 1);
  items[2].Focus = -1;  // a label asks for the focus: its field gets it
  EXPECT_EQ(InitialFocus(items.data(), n), 3);
  items[4].Focus = -1;
  items[2].Focus = 0;
  EXPECT_EQ(InitialFocus(items.data(), n), 4);
  EXPECT_EQ(NextFocus(items.data(), n, 1, 1), 3);
  EXPECT_EQ(NextFocus(items.data(), n, 4, 1), 1);
  EXPECT_EQ(NextFocus(items.data(), n, 1, -1), 4);
  std::vector<HostDialogItem> labels = {Item(DI_TEXT, 0, 0, 0, "x")};
  EXPECT_EQ(InitialFocus(labels.data(), 1), -1);
  EXPECT_EQ(NextFocus(labels.data(), 1, -1, 1), -1);
}

TEST(DialogModel, EnterPressesTheFocusedButtonElseTheDefault) {
  std::vector<HostDialogItem> items = {Item(DI_EDIT, 1, 1, 10, ""), Item(DI_BUTTON, 1, 3, 0, "Save"),
                                       Item(DI_BUTTON, 10, 3, 0, "Cancel")};
  items[1].DefaultButton = -1;
  EXPECT_EQ(EnterResult(items.data(), 3, 0), 1);
  EXPECT_EQ(EnterResult(items.data(), 3, 2), 2);
  items[1].DefaultButton = 0;
  EXPECT_EQ(EnterResult(items.data(), 3, 0), 0);
  EXPECT_EQ(EnterResult(items.data(), 3, -1), -1);
}

TEST(DialogModel, RadioGroupsStartAtTheGroupFlag) {
  // Two groups of radio buttons, then a check box.
  std::vector<HostDialogItem> items = {Item(DI_RADIOBUTTON, 1, 1, 0, "p", DIF_GROUP),
                                       Item(DI_RADIOBUTTON, 20, 1, 0, "t"),
                                       Item(DI_RADIOBUTTON, 1, 2, 0, "x", DIF_GROUP),
                                       Item(DI_RADIOBUTTON, 20, 2, 0, "y"), Item(DI_CHECKBOX, 1, 3, 0, "debug")};
  const int n = static_cast<int>(items.size());
  items[0].Selected = 1;
  items[2].Selected = 1;
  ToggleItem(items.data(), n, 1);
  EXPECT_EQ(items[0].Selected, 0);
  EXPECT_EQ(items[1].Selected, 1);
  EXPECT_EQ(items[2].Selected, 1);  // the other group keeps its choice
  ToggleItem(items.data(), n, 3);
  EXPECT_EQ(items[2].Selected, 0);
  EXPECT_EQ(items[1].Selected, 1);
  ToggleItem(items.data(), n, 1);  // choosing the chosen one keeps it chosen
  EXPECT_EQ(items[1].Selected, 1);
  ToggleItem(items.data(), n, 4);
  EXPECT_EQ(items[4].Selected, 1);
  ToggleItem(items.data(), n, 4);
  EXPECT_EQ(items[4].Selected, 0);
}

TEST(DialogModel, ADialogTooLargeForTheScreenShowsTheFocusedItem) {
  EXPECT_EQ(DialogOrigin(-1, 51, 100, 20, 45), 24);  // centred
  EXPECT_EQ(DialogOrigin(90, 51, 100, 20, 45), 49);  // asked for too far right: kept on screen
  EXPECT_EQ(DialogOrigin(-1, 51, 40, 2, 10), 0);     // left part shown
  EXPECT_EQ(DialogOrigin(-1, 51, 40, 20, 45), -6);   // shifted to show the field's end
  EXPECT_EQ(DialogOrigin(-1, 51, 10, 20, 45), -20);  // the field is wider than the screen: its start
}

TEST(EditField, EditsAtTheCursor) {
  EditField f("secret");
  EXPECT_EQ(f.Cursor(), 6u);
  f.Insert('!');
  f.Home();
  f.Insert('A');
  EXPECT_EQ(f.Text(), "Asecret!");
  f.Right();
  f.Delete();
  EXPECT_EQ(f.Text(), "Ascret!");
  f.Left();
  f.Backspace();
  EXPECT_EQ(f.Text(), "scret!");
  EXPECT_EQ(f.Cursor(), 0u);
  f.Backspace();  // nothing before the cursor
  f.Left();
  f.End();
  f.Delete();  // nothing under the cursor
  EXPECT_EQ(f.Text(), "scret!");
  EXPECT_EQ(f.Cursor(), 6u);
}

TEST(EditField, HoldsAtMost511Characters) {
  EditField f(std::string(600, 'x'));
  EXPECT_EQ(f.Text().size(), 511u);
  EXPECT_FALSE(f.Insert('y'));
  f.Backspace();
  EXPECT_TRUE(f.Insert('y'));
  EXPECT_EQ(f.Text().back(), 'y');
}

TEST(EditField, ScrollsSidewaysToKeepTheCursorInTheField) {
  EditField f("");
  for (char c : std::string("0123456789abcdef")) f.Insert(c);
  EXPECT_EQ(f.Scroll(10), 7u);  // the cursor after the text is the field's last cell
  EXPECT_EQ(f.Visible(10), "789abcdef");
  f.Home();
  EXPECT_EQ(f.Scroll(10), 0u);
  EXPECT_EQ(f.Visible(10), "0123456789");
  f.End();
  f.Scroll(10);
  for (int i = 0; i < 10; ++i) f.Backspace();
  EXPECT_EQ(f.Scroll(10), 0u);  // short again: no empty room while text is hidden
  EXPECT_EQ(f.Visible(10), "012345");
}

TEST(Pager, LinesAndScrolling) {
  const std::vector<std::string> lines = SplitLines("a\r\nb\tc\n\nlast");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(lines[1], "b       c");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(SplitLines("one\n").size(), 1u);
  EXPECT_TRUE(SplitLines("").empty());

  ScrollModel s;
  s.Set(100, 200, 20, 80);
  s.End();
  EXPECT_EQ(s.Top(), 80);
  s.Down();
  EXPECT_EQ(s.Top(), 80);
  s.PageUp();
  EXPECT_EQ(s.Top(), 61);
  s.Right(500);
  EXPECT_EQ(s.Left(), 120);
  s.Set(100, 200, 50, 80);  // a taller window: the position still fits
  EXPECT_EQ(s.Top(), 50);
  s.Set(5, 10, 20, 80);
  EXPECT_EQ(s.Top(), 0);
  EXPECT_EQ(s.Left(), 0);
}

}  // namespace
