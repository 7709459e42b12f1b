// The entry editor: the host dialog that adds or changes a dial entry, the
// box that confirms deleting one, and the log line of each change.
//
// Host's thread only, with the host record set. Errors of the entry file
// (IoError) are not caught here; when one ends an operation, nothing is
// logged and the file is left as it was.
#pragma once

#include <string>

// Shows the entry dialog with empty fields ("EditRecord" help) and, when it
// is accepted with a name, appends the entry and logs it. An empty login
// becomes the Windows user name.
void RunNewEntryDialog();
// Shows the entry dialog filled with the entry `name` (nothing happens when
// the file has no such entry) and, when accepted, writes the values back and
// logs the change. A name changed in the dialog renames this entry; when
// another entry has the new name already, a warning box says so and nothing
// is written. An emptied name changes nothing.
void RunEditEntryDialog(const std::string& name);
// Asks in a host message box; on the first button deletes every block of
// that exact name and logs it.
void ConfirmDeleteEntry(const std::string& name);

// The name of the user the process runs as (GetUserNameA) in the OEM code
// page; empty when the system cannot tell.
std::string OemUserName();
