// The entry editor: entry dialog, delete confirmation and their log lines.
#include "entries/entry_editor.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "entries/entry_file.h"
#include "entries/line_scrambler.h"
#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/platform.h"
#include "shell/text_helpers.h"
#include "tools/event_log.h"

namespace {

constexpr int kDialogWidth = 50;
constexpr int kDialogHeight = 11;
constexpr char kHelpTopic[] = "EditRecord";

// Item indexes of the entry dialog.
enum : int {
  kName = 1,
  kLogin = 3,
  kPassword = 5,
  kDomain = 7,
  kNumbers = 9,
  kInterval = 11,
  kTries = 13,
  kCallback = 15,
  kAccept = 16,
  kCancel = 17,
  kFrame = 18,
  kItemCount = 19,
};

// The 19 items: a label and an edit field per row 1..8, the two buttons and
// the frame. `fields` are the texts of the eight edit fields, in order.
std::vector<HostDialogItem> EntryDialogItems(int title, const std::array<std::string, 8>& fields) {
  std::vector<HostDialogItem> items;
  items.reserve(kItemCount);
  for (int row = 0; row < 8; ++row) {
    const int y = row + 1;
    items.push_back(DialogItem(DI_TEXT, 2, y, 0, 0, Msg(MLabelName + row)));
    const int edit_type = row == 2 ? DI_PSWEDIT : DI_EDIT;
    items.push_back(DialogItem(edit_type, 20, y, 45, 0, fields[static_cast<size_t>(row)]));
  }
  items.push_back(DialogItem(DI_BUTTON, 12, 10, 0, 0, Msg(MAccept)));
  items.push_back(DialogItem(DI_BUTTON, 27, 10, 0, 0, Msg(MCancel)));
  items.push_back(DialogItem(DI_DOUBLEBOX, 0, 0, kDialogWidth, kDialogHeight, Msg(title)));
  items[0].Focus = -1;
  items[kAccept].DefaultButton = -1;
  return items;
}

std::string Text(const std::vector<HostDialogItem>& items, int index) {
  return std::string(items[static_cast<size_t>(index)].Data);
}

// The number check of the interval and tries fields: an integer other than
// -1 stays exactly as typed; anything else becomes the fallback.
std::string CheckedNumber(const std::string& text, const char* fallback) {
  const std::optional<int32_t> value = ParseInteger(text);
  return value && *value != -1 ? text : std::string(fallback);
}

// The entry the accepted dialog describes; Login, Password and Domain still
// in the OEM code page.
DialEntry EntryFromDialog(const std::vector<HostDialogItem>& items) {
  DialEntry e;
  e.Name = Text(items, kName);
  e.Login = Text(items, kLogin);
  e.Password = Text(items, kPassword);
  e.Domain = Text(items, kDomain);
  e.Numbers = Text(items, kNumbers);
  e.Interval = CheckedNumber(Text(items, kInterval), "3");
  e.Tries = CheckedNumber(Text(items, kTries), "1");
  e.Callback = Text(items, kCallback);
  return e;
}

// An ANSI value that was shown converted to OEM: when the field comes back
// as shown, the stored bytes are kept, since a character without an OEM
// counterpart would not survive the conversion there and back.
std::string AnsiValue(const std::string& typed, const std::string& shown, const std::string& stored) {
  return typed == shown ? stored : ConvertToAnsi(typed);
}

// A header line "[" + name + "]" holds at most kMaxLineBytes bytes: a
// longer name would lose its "]" and the entry could never be found again.
constexpr size_t kMaxNameBytes = kMaxLineBytes - 2;

// Refuses a name that the entry file cannot hold whole, with a box.
bool NameFits(const std::string& name) {
  if (name.size() <= kMaxNameBytes) return true;
  ShowWarning(Msg(MEntryNameTooLong) + std::to_string(kMaxNameBytes));
  return false;
}

void LogChange(const std::string& name, int last_part) {
  WriteLogLine(Msg(MEntryPrefix) + name + Msg(last_part));
}

}  // namespace

std::string OemUserName() {
  char buffer[256] = {};
  DWORD size = sizeof buffer;
  if (!GetUserNameA(buffer, &size)) return std::string();
  buffer[sizeof buffer - 1] = '\0';
  return ConvertToOem(buffer);
}

void RunNewEntryDialog() {
  std::vector<HostDialogItem> items = EntryDialogItems(MNewEntryTitle, {});
  if (HostDialog(kDialogWidth, kDialogHeight, kHelpTopic, items) != kAccept) return;
  DialEntry e = EntryFromDialog(items);
  if (e.Name.empty() || !NameFits(e.Name)) return;
  if (e.Login.empty()) e.Login = OemUserName();
  e.Login = ConvertToAnsi(e.Login);
  e.Password = ConvertToAnsi(e.Password);
  e.Domain = ConvertToAnsi(e.Domain);
  AppendDialEntry(e);
  LogChange(e.Name, MEntryAdded);
}

void RunEditEntryDialog(const std::string& name) {
  if (!ReadDialEntry(name)) return;
  const EntryValues stored = CurrentEntry();
  const std::array<std::string, 8> shown = {name,
                                            ConvertToOem(stored.Login),
                                            ConvertToOem(stored.Password),
                                            ConvertToOem(stored.Domain),
                                            stored.Numbers,
                                            std::to_string(stored.Interval),
                                            std::to_string(stored.Tries),
                                            stored.Callback};
  std::vector<HostDialogItem> items = EntryDialogItems(MEditEntryTitle, shown);
  // What the fields really showed: a text longer than a field is cut.
  std::array<std::string, 8> in_fields;
  for (size_t i = 0; i < in_fields.size(); ++i) in_fields[i] = Text(items, static_cast<int>(2 * i + 1));
  if (HostDialog(kDialogWidth, kDialogHeight, kHelpTopic, items) != kAccept) return;

  DialEntry e = EntryFromDialog(items);
  e.Login = AnsiValue(e.Login, in_fields[1], stored.Login);
  e.Password = AnsiValue(e.Password, in_fields[2], stored.Password);
  e.Domain = AnsiValue(e.Domain, in_fields[3], stored.Domain);

  if (e.Name == name) {
    // Another window may have deleted or renamed the entry meanwhile: then
    // nothing was saved, and the user is told so.
    if (ReplaceDialEntry(e) == 0) {
      ShowWarning(Msg(MEntryGone) + name);
      return;
    }
  } else {
    // A changed name renames the entry the dialog was opened for. It never
    // takes the place of another entry, and an emptied name is no name.
    if (e.Name.empty() || !NameFits(e.Name)) return;
    const int renamed = RenameDialEntry(name, e);
    if (renamed == kNameTaken) {
      ShowWarning(Msg(MEntryNameTaken) + e.Name);
      return;
    }
    if (renamed == 0) {
      ShowWarning(Msg(MEntryGone) + name);
      return;
    }
  }
  LogChange(e.Name, MEntryChanged);
}

void ConfirmDeleteEntry(const std::string& name) {
  if (!AskToDelete(name)) return;
  DeleteDialEntry(name);
  LogChange(name, MEntryDeleted);
}
