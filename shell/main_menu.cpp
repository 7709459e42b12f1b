// The main menu.
#include "shell/main_menu.h"

#include <string>
#include <vector>

#include "dial/connection.h"
#include "dial/dial_procedure.h"
#include "entries/entry_editor.h"
#include "entries/entry_file.h"
#include "shell/host_calls.h"
#include "shell/menu_rows.h"
#include "shell/messages.h"
#include "shell/text_helpers.h"
#include "tools/log_viewing.h"
#include "tools/phonebook_menu.h"

namespace {

// The rows after the entry rows, counted from the first of them.
enum ActionRow : int {
  kSeparatorBeforeHangUp,
  kHangUpRow,
  kSeparatorBeforePhonebook,
  kPhonebookRow,
  kSeparatorBeforeLogs,
  kViewLogRow,
  kChooseLogRow,
  kClosingSeparator,
  kActionRowCount,
};

// The message of each action row; kSeparator for a separator line.
constexpr int kSeparator = -1;
constexpr int kActionRowMessage[kActionRowCount] = {
    kSeparator, MHangUpRow, kSeparator, MPhonebookRow, kSeparator, MViewLogRow, MChooseLogRow, kSeparator,
};

// A numbered row per entry, the cursor on the first, then the action rows.
// Every entry gets a row: the host's Menu takes the row count, so the menu
// is not limited to a fixed number of entries.
std::vector<HostMenuItem> MenuRows(const std::vector<std::string_view>& names) {
  std::vector<HostMenuItem> rows;
  rows.reserve(names.size() + kActionRowCount);
  for (size_t i = 0; i < names.size(); ++i) {
    HostMenuItem row{};
    SetNumberedRowText(row.Text, sizeof row.Text, static_cast<int>(i) + 1, std::string(names[i]));
    row.Selected = i == 0 ? -1 : 0;
    rows.push_back(row);
  }
  for (int message : kActionRowMessage) rows.push_back(message == kSeparator ? SeparatorRow() : TextRow(Msg(message)));
  return rows;
}

// Enter on an action row other than the hang-up row.
void RunAction(int action_row) {
  if (action_row == kPhonebookRow) SystemPhonebookMenu();
  if (action_row == kViewLogRow) ViewCurrentLog();
  if (action_row == kChooseLogRow) LogFileMenu();
}

// A key on the entry `name` (empty for Ins on an action row). Returns
// whether the menu comes back.
bool RunEntryKey(int key, const std::string& name) {
  switch (key) {
    case kBreakEnter:
      DialProcedure(name);
      return false;
    case kBreakF4:
      RunEditEntryDialog(name);
      return true;
    case kBreakIns:
      RunNewEntryDialog();
      return true;
    case kBreakDel:
      ConfirmDeleteEntry(name);
      return true;
    default:
      return false;
  }
}

// Carries out the menu's answer: row `row` (negative for Esc) closed with
// `key`. Returns whether the menu comes back.
bool AnswerMenu(int row, int key, const std::vector<std::string_view>& names) {
  if (row < 0) return false;
  const int n = static_cast<int>(names.size());
  // The hang-up row hangs up whatever key closed the menu.
  if (row == n + kHangUpRow) {
    HangUpAll();
    return false;
  }
  // The action rows run their action on Enter and end the menu. Edit and
  // delete need an entry row: on an action row they do nothing and the
  // menu comes back; Ins adds an entry wherever the cursor stands.
  const bool action_row = row >= n;
  if (action_row && key != kBreakIns) {
    if (key != kBreakEnter) return true;
    RunAction(row - n);
    return false;
  }
  return RunEntryKey(key, action_row ? std::string() : std::string(names[static_cast<size_t>(row)]));
}

}  // namespace

void RunMainMenu() {
  for (;;) {
    const std::string list = ListEntryNames();
    if (list.empty()) {
      RunNewEntryDialog();
      return;
    }
    // The names are taken apart in one pass, so that a long list opens as
    // fast as a short one, as views into the list, so that it is held once.
    const std::vector<std::string_view> names = SplitWords(list, Delimiters(","));
    const std::vector<HostMenuItem> rows = MenuRows(names);
    int key = kBreakEnter;
    const int row = HostMenu(Msg(MMenuTitle), Msg(MMenuBottom), "MainMenu", kEntryBreakKeys, &key, rows);
    if (!AnswerMenu(row, key, names)) return;
  }
}
