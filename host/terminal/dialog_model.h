// What a host dialog does with its items, apart from the screen: where each
// item stands, which items take the focus and in what order, radio groups,
// the default button, edit-field editing, and which part of a dialog larger
// than the terminal is shown.
#pragma once

#include <string>
#include <string_view>

#include "shell/host_interface.h"

// An item's rectangle relative to the dialog's top-left corner, inclusive.
struct ItemRect {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// The text of an item's Data field, up to its zero (or the field's end).
std::string_view ItemText(const HostDialogItem& item);

// Where `item` stands in a dialog `width` by `height` cells. X2 or Y2 below
// X1 or Y1 (0 in particular) takes the kind's default: labels as long as
// their text, edit fields to the column before the dialog's right edge,
// buttons "[text]" (compact, so that a button may end one column before a
// frame), check boxes "[x] text", radio buttons "(*) text",
// frames to the dialog's edges; every kind but frames is one row high.
ItemRect ItemBounds(const HostDialogItem& item, int width, int height);

// Edit fields, password fields, buttons, check boxes and radio buttons take
// the focus; labels and frames do not.
bool TakesFocus(const HostDialogItem& item);
// The first item with a nonzero Focus if it takes the focus, or else the
// first item after it that does (a label asks for the field it names);
// without either, the first item that takes the focus; -1 when none does.
int InitialFocus(const HostDialogItem* items, int count);
// The next item after `from` (step 1) or before it (step -1) that takes the
// focus, wrapping around; `from` itself when no other does.
int NextFocus(const HostDialogItem* items, int count, int from, int step);
// The first item with a nonzero DefaultButton; -1 when none has one.
int DefaultButton(const HostDialogItem* items, int count);
// What Enter closes the dialog with: the focused item when it is a button,
// else the default button, else the focused item (-1 when nothing has the
// focus).
int EnterResult(const HostDialogItem* items, int count, int focus);
// Space on `index`: a check box flips, a radio button becomes the selected
// one of its group and clears the others. A group is the run of radio
// buttons that starts at one flagged DIF_GROUP (or after any item that is
// not a radio button) and ends before the next such start.
void ToggleItem(HostDialogItem* items, int count, int index);

// The column (or row) of the dialog's left (top) edge on a screen `screen`
// cells wide (high), for a dialog `size` cells wide (high) asked for at
// `wanted` (-1: centred). A dialog that fits is kept inside the screen; one
// that does not is shifted just enough to show the focused item's cells
// `focus_from`..`focus_to` (dialog coordinates).
int DialogOrigin(int wanted, int size, int screen, int focus_from, int focus_to);

// One line of text being edited: at most kMaxLength OEM characters, a
// cursor from 0 to the length, and the first character shown for a field
// narrower than the text.
class EditField {
 public:
  static constexpr size_t kMaxLength = 511;

  // The cursor starts after the text; a longer text is cut.
  explicit EditField(std::string_view text = {});

  const std::string& Text() const { return text_; }
  size_t Cursor() const { return cursor_; }

  // Inserts `c` at the cursor; false (and nothing changes) when full.
  bool Insert(char c);
  void Delete();     // the character under the cursor
  void Backspace();  // the character before the cursor
  void Left();
  void Right();
  void Home();
  void End();

  // The first character shown in a field `width` columns wide, scrolled as
  // little as needed from the last call to keep the cursor in the field.
  size_t Scroll(int width);
  // The characters shown in a field `width` columns wide (after Scroll).
  std::string_view Visible(int width) const;

 private:
  std::string text_;
  size_t cursor_ = 0;
  size_t offset_ = 0;
};
