// Calls to the Kel host, through the module-wide copy of its HostStartupInfo.
//
// SetHostRecord must have run before any other function here is called; the
// exports make sure of that. Every function runs on the host's thread only.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "shell/host_interface.h"

// Takes a private copy of the host's record (all of it).
void SetHostRecord(const HostStartupInfo* info);
// The private copy.
const HostStartupInfo& HostRecord();
// Whether SetStartupInfo has given us a record with the operations we call.
bool HostAvailable();

// Text N of the message catalogue; the empty text when the host has none.
std::string Msg(int number);

// One host message box: the first item is the title, the last `buttons`
// items are the buttons. The items go through the module-wide message item
// list of five slots. Returns the host's answer (button index, or anything
// else for Esc).
int ShowMessage(unsigned flags, const std::vector<std::string>& items, int buttons);
// The warning box the plug-in uses for every failure: flags 1, message 5 as
// title, the text, message 4 as the one button.
void ShowWarning(const std::string& text);
// The box that asks before an entry (of the entry file or of the phone book)
// is deleted: flags 0, message 32 as title, message 33 + the name + "?",
// messages 34 and 23 as the buttons. True when the user picks the first.
bool AskToDelete(const std::string& name);

// Host menu with the plug-in's fixed placement (centred, height 0, flags 2).
// `break_keys` ends with 0, or is null. Returns the chosen row or -1;
// *break_code gets the break key's index or -1 for Enter.
int HostMenu(const std::string& title, const std::string& bottom, const char* help_topic, const int* break_keys,
             int* break_code, const std::vector<HostMenuItem>& rows);
// Host dialog, centred, of the given size.
int HostDialog(int x2, int y2, const char* help_topic, std::vector<HostDialogItem>& items);
void HostText(int x, int y, int color, const char* text);
void HostViewer(const std::string& path);
void HostEditor(const std::string& path);

// A dialog item of the given kind, place and text (cut to fit), with flags;
// focus, state and default-button 0.
HostDialogItem DialogItem(int type, int x1, int y1, int x2, int y2, const std::string& text, unsigned flags = 0);

// Copies `text` into a fixed text field, cutting it so that it and its
// terminating zero fit.
void CopyToField(char* field, size_t field_size, const std::string& text);

// Saves the whole screen on construction and restores it exactly once: by
// Restore() or, on any way out of the scope, by the destructor.
class SavedScreen {
 public:
  SavedScreen();
  ~SavedScreen();
  SavedScreen(const SavedScreen&) = delete;
  SavedScreen& operator=(const SavedScreen&) = delete;
  void Restore();

 private:
  void* handle_ = nullptr;
  bool saved_ = false;
};
