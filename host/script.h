// Scripts for kelhost's scripted UI: the answers to the plug-in's
// interactive host calls, one per line, consumed in order.
//
//   menu ROW [KEY]        choose row ROW (0-based); KEY closes the menu:
//                         enter (the default), a key name (f1..f12, ins,
//                         del) looked up in the plug-in's break-key list,
//                         or a number: the index in that list
//   menu esc              close the menu with Esc
//   dialog ITEM [set N "text"]... [check N 0|1]...
//                         edit the items, then close the dialog with item
//                         ITEM (an index), `enter` (the default button) or
//                         `esc`
//   message BUTTON        press button BUTTON (0-based) of a message box
//   message esc           close the message box with Esc
//   edit append "text"    answer to an Editor call: append text to the file
//   edit write "text"     answer to an Editor call: replace the file's content
//
// Blank lines and lines starting with `#` are ignored; outside quotes, `#`
// also starts a comment at the end of a line. Quoted texts as in
// quoted_text.h.
#pragma once

#include <string>
#include <vector>

struct ScriptAnswer {
  enum class Kind { Menu, Dialog, Message, Edit };
  // How a menu answer names the key that closes the menu.
  enum class Key { Enter, Named, Index };

  Kind kind = Kind::Menu;
  int line = 0;        // line number in the script, from 1
  std::string source;  // the line as written, for messages
  bool esc = false;    // menu esc, dialog esc, message esc

  // menu: the row; dialog: the closing item; message: the button.
  int index = 0;
  Key key = Key::Enter;  // menu
  int key_value = 0;     // menu: the virtual-key code (Named) or list index (Index)
  std::string key_name;  // menu: the key as written (Named)

  bool dialog_enter = false;  // dialog: close with the default button
  struct Change {
    bool is_text = true;  // set N "text" (true) or check N 0|1 (false)
    int item = 0;
    std::string text;
    int state = 0;
    bool operator==(const Change&) const = default;
  };
  std::vector<Change> changes;  // dialog, in script order

  bool edit_append = true;  // edit: append (true) or write (false)
  std::string edit_text;

  bool operator==(const ScriptAnswer&) const = default;
};

// The name a script uses for each kind: "menu", "dialog", "message", "edit".
const char* ScriptKindName(ScriptAnswer::Kind kind);

// Parses a whole script. On an error returns false with `error` set to
// "line N: what is wrong".
bool ParseScript(const std::string& text, std::vector<ScriptAnswer>& answers, std::string& error);

// One answer as a script line (without line end), such that ParseScript
// reads it back as the same answer apart from `line` and `source`.
std::string FormatScriptAnswer(const ScriptAnswer& answer);

// The virtual-key code of a key name a script may use (f1..f12, ins, insert,
// del, delete, case-insensitive), or 0 for an unknown name.
int VirtualKeyOfName(const std::string& name);
