// What kelhost shows the user: the one small interface behind which the
// scripted UI (answers from a script) and a terminal UI live.
//
// The host operations (host_operations.h) check and record every call and
// then hand it here; the UI only shows and answers. Every call comes on the
// host's one thread, one at a time.
#pragma once

#include <string>
#include <vector>

#include "shell/host_interface.h"

// A menu as the plug-in passed it.
struct MenuCall {
  int x = -1, y = -1, max_height = 0;
  unsigned flags = 0;
  const char* title = nullptr;
  const char* bottom = nullptr;
  const char* help = nullptr;
  std::vector<int> break_keys;  // without the closing 0
  bool has_break_keys = false;  // false: the plug-in passed null
  const HostMenuItem* rows = nullptr;
  int row_count = 0;
};

struct DialogCall {
  int x1 = -1, y1 = -1, x2 = 0, y2 = 0;
  const char* help = nullptr;
};

// A file for the viewer or the editor.
struct FileCall {
  std::string path;        // as the plug-in passed it (a Windows path)
  std::string local_path;  // the same file as a path of this machine
  const char* title = nullptr;
  int x1 = 0, y1 = 0, x2 = -1, y2 = -1;
  unsigned flags = 0;
  int line = 0, column = 0;  // editor only
};

class HostUi {
 public:
  virtual ~HostUi() = default;

  // Returns the chosen row, or -1 for Esc. Sets break_index to the index in
  // call.break_keys of the key that closed the menu, -1 for Enter and Esc.
  virtual int Menu(const MenuCall& call, int& break_index) = 0;
  // Lets the user edit `items` in place (Data of edit fields, Selected of
  // check boxes and radio buttons); returns the closing item or -1 for Esc.
  virtual int Dialog(const DialogCall& call, HostDialogItem* items, int count) = 0;
  // A message box: items[0] the title, the last `buttons` items the buttons,
  // the rest lines ("" an empty line, "\x01" a separator). Returns the button
  // index or -1 for Esc. With 0 buttons the box is drawn, stays on the screen
  // until a RestoreScreen puts back what it covered, and -1 is returned.
  virtual int Message(unsigned flags, const char* help, const std::vector<std::string>& items, int buttons) = 0;
  // Saves an area under the number `handle`, which the host operations chose
  // and which no other saved area holds.
  virtual void SaveScreen(int handle, int x1, int y1, int x2, int y2) = 0;
  // Puts back the area saved under `handle` (always a saved one) and forgets it.
  virtual void RestoreScreen(int handle) = 0;
  // Text at a position in a colour; a null text brings the screen up to date.
  virtual void Text(int x, int y, int color, const char* text) = 0;
  // Returns 1 when the file could be shown, 0 when not.
  virtual int Viewer(const FileCall& call) = 0;
  // Returns 0 when the file could not be opened, 1 when it was changed,
  // 2 when it was left unchanged.
  virtual int Editor(const FileCall& call) = 0;
};
