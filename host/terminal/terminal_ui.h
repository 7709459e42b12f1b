// kelhost's terminal UI: the host operations shown to a person in the
// terminal (menus, dialogs, message boxes, the viewer, the user's editor,
// help), built on ncurses.
//
// Texts from the plug-in are OEM bytes; they are shown through iconv in
// the terminal's UTF-8, and what the user types goes back as OEM, '?' for
// a character the code page lacks. Every operation may be called from any
// thread (the dial's notifier may draw its state with Text); the UI
// serialises them, so a call waits while another, such as an open menu,
// runs.
#pragma once

#include <memory>
#include <string>

#include "host/host_ui.h"

struct TerminalUiOptions {
  // The help file for F1 (format: docs/help_file.md), normally the language
  // file's path with ".hlp" in place of ".lng". A missing or unreadable one
  // is not an error: F1 then says so.
  std::string help_path;
  // The language's OEM code page as iconv names it.
  std::string code_page = "CP437";
};

class TerminalUi : public HostUi {
 public:
  // A key the user typed while no menu, dialog or box waits for one, as a
  // Windows virtual-key code (27 Esc, 13 Enter, 'A'..'Z', '0'..'9', 112 F1
  // ...); 0 when none is waiting or the key has no code. Never blocks. For
  // the host's console input, which the plug-in watches for Esc while it
  // dials.
  virtual int PollVirtualKey() = 0;
  // Text the user typed in the terminal (UTF-8), such as kelhost's command
  // line, as OEM bytes of the UI's code page ('?' for what it lacks).
  virtual std::string OemText(const std::string& utf8) const = 0;
};

// Takes over the terminal on standard input and output and shows the
// host's background. Returns null, with `error` set, when the terminal
// cannot be used or iconv does not know the code page. Destroying the UI
// gives the terminal back. At most one may exist at a time; nothing else
// may write to standard output while it does.
std::unique_ptr<TerminalUi> MakeTerminalUi(const TerminalUiOptions& options, std::string& error);
