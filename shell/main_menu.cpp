// The main menu.
#include "shell/main_menu.h"

#include <string>
#include <string_view>
#include <vector>

#include "dial/connection.h"
#include "dial/dial_procedure.h"
#include "entries/entry_editor.h"
#include "entries/entry_file.h"
#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/text_helpers.h"
#include "tools/log_viewing.h"
#include "tools/phonebook_menu.h"

const int kEntryBreakKeys[4] = {VK_F4, VK_INSERT, VK_DELETE, 0};

namespace {

enum BreakKey : int { kEnter = -1, kF4 = 0, kIns = 1, kDel = 2 };

HostMenuItem Row(const std::string& text, int separator) {
  HostMenuItem row{};
  CopyToField(row.Text, sizeof row.Text, text);
  row.Separator = separator;
  return row;
}

// Every word of `text` in order: what NthWord gives for 1, 2, ... CountWords.
// The words are views into the text.
std::vector<std::string_view> SplitWords(const std::string& text, const CharSet& set) {
  std::vector<std::string_view> words;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || set[static_cast<unsigned char>(text[i])]) {
      if (i > start) words.push_back(std::string_view(text).substr(start, i - start));
      start = i + 1;
    }
  }
  return words;
}

}  // namespace

void SetNumberedRowText(char* field, size_t field_size, int number, const std::string& name) {
  CopyToField(field, field_size, "&" + std::to_string(number) + ". " + name);
}

void RunMainMenu() {
  const CharSet comma = Delimiters(",");
  for (;;) {
    const std::string names = ListEntryNames();
    if (names.empty()) {
      RunNewEntryDialog();
      return;
    }
    // Every entry gets a row: the host's Menu takes the row count, so the
    // menu is not limited to a fixed number of entries. The names are taken
    // apart in one pass (the word rule: runs between commas, empty ones
    // skipped), so that a long list opens as fast as a short one.
    const std::vector<std::string_view> words = SplitWords(names, comma);
    const int n = static_cast<int>(words.size());
    std::vector<HostMenuItem> rows;
    rows.reserve(static_cast<size_t>(n) + 8);
    for (int i = 0; i < n; ++i) {
      HostMenuItem row{};
      SetNumberedRowText(row.Text, sizeof row.Text, i + 1, std::string(words[static_cast<size_t>(i)]));
      row.Selected = i == 0 ? -1 : 0;
      rows.push_back(row);
    }
    rows.push_back(Row("", -1));
    rows.push_back(Row(Msg(MHangUpRow), 0));
    rows.push_back(Row("", -1));
    rows.push_back(Row(Msg(MPhonebookRow), 0));
    rows.push_back(Row("", -1));
    rows.push_back(Row(Msg(MViewLogRow), 0));
    rows.push_back(Row(Msg(MChooseLogRow), 0));
    rows.push_back(Row("", -1));

    int key = kEnter;
    const int r = HostMenu(Msg(MMenuTitle), Msg(MMenuBottom), "MainMenu", kEntryBreakKeys, &key, rows);
    if (r < 0) return;
    if (r == n + 1) {
      HangUpAll();
      return;
    }
    // The action rows run their action on Enter and end the menu. Edit and
    // delete need an entry row: on an action row they do nothing and the
    // menu comes back; Ins adds an entry wherever the cursor stands.
    const bool action_row = r >= n;
    if (action_row && key != kIns) {
      if (key != kEnter) continue;
      if (r == n + 3) SystemPhonebookMenu();
      if (r == n + 5) ViewCurrentLog();
      if (r == n + 6) LogFileMenu();
      return;
    }
    const std::string name = action_row ? std::string() : std::string(words[static_cast<size_t>(r)]);
    switch (key) {
      case kEnter:
        DialProcedure(name);
        return;
      case kF4:
        RunEditEntryDialog(name);
        break;
      case kIns:
        RunNewEntryDialog();
        break;
      case kDel:
        ConfirmDeleteEntry(name);
        break;
      default:
        return;
    }
  }
}
