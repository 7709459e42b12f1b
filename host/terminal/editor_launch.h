// The user's own editor for the host's Editor operation.
#pragma once

#include <string>

// The editor command: $VISUAL, else $EDITOR (each only when set and not
// empty; either may carry options, "emacs -nw"), else the first of
// sensible-editor, nano and vi found as an executable file in a directory
// of `path` (PATH's ":"-separated form). Null arguments count as unset.
// Empty when there is none.
std::string ChooseEditor(const char* visual, const char* editor, const char* path);

enum class EditOutcome {
  NotRun,     // the command could not be started
  Changed,    // the file's content differs afterwards
  Unchanged,  // the file is as it was
};

// Runs `command` through /bin/sh on `file` and waits for it to end; with
// `line` above 1, "+line" goes before the file name. The file name is
// handed over as an argument of its own, never pasted into the command
// text, so no character of it is taken as shell syntax. The terminal must
// be free (curses suspended). While the editor runs, Ctrl-C and Ctrl-\ go
// to it alone. On NotRun `error` says why.
EditOutcome RunEditor(const std::string& command, const std::string& file, int line, std::string& error);
