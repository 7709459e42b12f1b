// The system's own remote access phone book: list, edit, create, delete and
// dial its entries.
#pragma once

#include <string>

#include "shell/platform.h"

// Shows the phone book's entries (nothing when it is empty or cannot be
// read) and runs the one action the user picks: F4 edits, Ins creates, Del
// deletes after a confirmation, Enter dials with the saved credentials.
void SystemPhonebookMenu();

// The user name / password the system saved for a phone-book entry of the
// default phone book. Return the remote access error code (0 on success);
// on failure `out` is left as it was. A password is only given when the
// system reports one saved; otherwise `out` becomes empty.
DWORD GetSavedUserName(const std::string& entry, std::string& out);
DWORD GetSavedPassword(const std::string& entry, std::string& out);
