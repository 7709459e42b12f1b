// tui_driver: shows the terminal UI's screens in a fixed order, built from
// the same records the plug-in passes, and appends each answer to a result
// file, for trying the UI by hand and for the tmux test.
//
//   tui_driver --out FILE [--help-file FILE] [--view FILE] [--edit FILE]
//
// Screens: the main menu, the edit-entry dialog, the settings dialog, a
// dial box without buttons with a state text (then, like a dial's pause,
// no call of the UI until the file FILE.go exists beside the result file;
// then waits for a key through PollVirtualKey), the restored screen (waits
// for a key), a warning box, a two-button confirmation, a menu of 2000
// rows, the viewer, the editor.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/terminal/terminal_ui.h"

namespace {

std::FILE* g_out = nullptr;

void Result(const std::string& line) {
  std::fprintf(g_out, "%s\n", line.c_str());
  std::fflush(g_out);
}

HostMenuItem Row(const char* text, bool separator = false) {
  HostMenuItem row{};
  std::snprintf(row.Text, sizeof row.Text, "%s", text);
  row.Separator = separator ? -1 : 0;
  return row;
}

HostDialogItem Item(int type, int x1, int y1, int x2, int y2, const char* data) {
  HostDialogItem item{};
  item.Type = type;
  item.X1 = x1;
  item.Y1 = y1;
  item.X2 = x2;
  item.Y2 = y2;
  std::snprintf(item.Data, sizeof item.Data, "%s", data);
  return item;
}

std::string Data(const HostDialogItem& item) { return "[" + std::string(item.Data) + "]"; }

int WaitForKey(TerminalUi& ui) {
  for (;;) {
    const int key = ui.PollVirtualKey();
    if (key != 0) return key;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string ExecutableDirectory() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

void MainMenu(TerminalUi& ui) {
  // "B\x81ro": the u-umlaut of code page 437.
  std::vector<HostMenuItem> rows = {Row("&1. Office"),
                                    Row("&2. B\x81ro"),
                                    Row("&3. Backup"),
                                    Row("", true),
                                    Row("Hang up all connections"),
                                    Row("", true),
                                    Row("System phone book"),
                                    Row("", true),
                                    Row("View the current log"),
                                    Row("Choose a log file to view"),
                                    Row("", true)};
  rows[0].Selected = -1;
  MenuCall call;
  call.max_height = 0;
  call.flags = 2;
  call.title = "Dial-up";
  call.bottom = "Enter dial  F4 edit  Ins new  Del delete";
  call.help = "MainMenu";
  call.break_keys = {115, 45, 46};
  call.has_break_keys = true;
  call.rows = rows.data();
  call.row_count = static_cast<int>(rows.size());
  int break_index = -1;
  const int row = ui.Menu(call, break_index);
  Result("menu row=" + std::to_string(row) + " break=" + std::to_string(break_index));
}

void EntryDialog(TerminalUi& ui) {
  const char* labels[] = {
      "Name:", "Login:", "Password:", "Domain:", "Numbers:", "Interval (s):", "Tries:", "Call-back number:"};
  const char* values[] = {"Office", "anna", "secret", "", "555-0100,555-0101", "3", "2", ""};
  std::vector<HostDialogItem> items;
  for (int i = 0; i < 8; ++i) {
    items.push_back(Item(DI_TEXT, 2, 1 + i, 0, 0, labels[i]));
    items.push_back(Item(i == 2 ? DI_PSWEDIT : DI_EDIT, 20, 1 + i, 45, 0, values[i]));
  }
  items.push_back(Item(DI_BUTTON, 12, 10, 0, 0, "Save"));
  items.push_back(Item(DI_BUTTON, 27, 10, 0, 0, "Cancel"));
  items.push_back(Item(DI_DOUBLEBOX, 0, 0, 50, 11, "Edit entry"));
  items[0].Focus = -1;
  items[16].DefaultButton = -1;
  DialogCall call{-1, -1, 50, 11, "EditRecord"};
  const int result = ui.Dialog(call, items.data(), static_cast<int>(items.size()));
  Result("dialog result=" + std::to_string(result) + " name=" + Data(items[1]) + " login=" + Data(items[3]) +
         " password=" + Data(items[5]) + " numbers=" + Data(items[9]));
}

void ConfigDialog(TerminalUi& ui) {
  std::vector<HostDialogItem> items = {
      Item(DI_DOUBLEBOX, 0, 0, 42, 18, "Settings"),
      Item(DI_RADIOBUTTON, 1, 1, 0, 0, "Pulse dialling"),
      Item(DI_RADIOBUTTON, 24, 1, 0, 0, "Tone dialling"),
      Item(DI_TEXT, 2, 3, 0, 0, "Log file:"),
      Item(DI_EDIT, 16, 3, 41, 0, "vezuzaziz.log"),
      Item(DI_TEXT, 2, 5, 0, 0, "Startup list:"),
      Item(DI_EDIT, 16, 5, 33, 0, "startup.lst"),
      Item(DI_TEXT, 2, 7, 0, 0, "Phone book:"),
      Item(DI_EDIT, 20, 7, 41, 0, ""),
      Item(DI_BUTTON, 35, 5, 0, 0, "Edit"),
      Item(DI_BUTTON, 12, 17, 0, 0, "Save"),
      Item(DI_BUTTON, 22, 17, 0, 0, "Cancel"),
      Item(DI_CHECKBOX, 5, 9, 0, 0, "Show connection progress"),
      Item(DI_CHECKBOX, 5, 10, 0, 0, "Show in the disk menu"),
      Item(DI_CHECKBOX, 5, 11, 0, 0, "One log file per day"),
      Item(DI_CHECKBOX, 5, 12, 0, 0, "No more tries after error 629"),
      Item(DI_TEXT, 2, 15, 0, 0, "Minimum speed (bps, 0: any):"),
      Item(DI_EDIT, 35, 15, 41, 0, "0"),
      Item(DI_CHECKBOX, 5, 13, 0, 0, "Log every connection state"),
  };
  items[1].Flags = DIF_GROUP;
  items[1].Focus = -1;
  items[1].Selected = 1;
  items[10].DefaultButton = -1;
  for (int i : {12, 13, 14, 15}) items[static_cast<size_t>(i)].Selected = 1;
  DialogCall call{-1, -1, 42, 18, "Config"};
  const int result = ui.Dialog(call, items.data(), static_cast<int>(items.size()));
  std::string line = "config result=" + std::to_string(result) + " pulse=" + std::to_string(items[1].Selected) +
                     " tone=" + std::to_string(items[2].Selected);
  for (int i : {12, 13, 14, 15, 18})
    line += " check" + std::to_string(i) + "=" + std::to_string(items[static_cast<size_t>(i)].Selected);
  Result(line + " minspeed=" + Data(items[17]));
}

void DialBox(TerminalUi& ui, const std::string& go_file) {
  ui.SaveScreen(1, 0, 0, -1, -1);
  ui.Message(0, nullptr, {"Dialling ", "Tries left: 3", "p555-0100", "\x01", "Esc stops dialling"}, 0);
  ui.Text(0, 0, 7, "                            ");
  ui.Text(0, 0, 7, nullptr);
  ui.Text(0, 0, 7, "Connecting the device");
  ui.Text(0, 0, 7, nullptr);
  Result("box shown");
  // A pause between tries: the plug-in sleeps and calls nothing.
  std::error_code ignored;
  while (!std::filesystem::exists(go_file, ignored)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Result("pause over");
  Result("poll key=" + std::to_string(WaitForKey(ui)));
  ui.RestoreScreen(1);
  Result("restored");
  Result("poll key=" + std::to_string(WaitForKey(ui)));
}

void Boxes(TerminalUi& ui) {
  Result("message result=" +
         std::to_string(ui.Message(FMSG_WARNING, nullptr, {"Warning", "Dialling interrupted with Esc.", "OK"}, 1)));
  Result("confirm result=" +
         std::to_string(ui.Message(0, nullptr, {"Delete entry", "Delete the entry Office?", "Delete", "Cancel"}, 2)));
}

void BigMenu(TerminalUi& ui) {
  std::vector<HostMenuItem> rows;
  for (int i = 1; i <= 2000; ++i) rows.push_back(Row(("Row " + std::to_string(i)).c_str()));
  rows[2].Checked = 1;
  MenuCall call;
  call.title = "Big menu";
  call.bottom = "2000 rows";
  call.help = "MainMenu";
  call.rows = rows.data();
  call.row_count = static_cast<int>(rows.size());
  int break_index = -1;
  const int row = ui.Menu(call, break_index);
  Result("bigmenu row=" + std::to_string(row));
}

void FileScreens(TerminalUi& ui, const std::string& view, const std::string& edit) {
  FileCall call;
  call.path = view;
  call.local_path = view;
  Result("viewer result=" + std::to_string(ui.Viewer(call)));
  if (edit.empty()) return;
  call.path = edit;
  call.local_path = edit;
  call.line = 1;
  call.column = 1;
  Result("editor result=" + std::to_string(ui.Editor(call)));
}

}  // namespace

int main(int argc, char** argv) {
  std::string out_path, help_path = ExecutableDirectory() + "/vezuzaziz.hlp", view_path, edit_path;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--out")
      out_path = argv[i + 1];
    else if (option == "--help-file")
      help_path = argv[i + 1];
    else if (option == "--view")
      view_path = argv[i + 1];
    else if (option == "--edit")
      edit_path = argv[i + 1];
  }
  if (out_path.empty()) {
    std::fprintf(stderr, "usage: tui_driver --out FILE [--help-file FILE] [--view FILE] [--edit FILE]\n");
    return 1;
  }
  g_out = std::fopen(out_path.c_str(), "w");
  if (g_out == nullptr) {
    std::fprintf(stderr, "tui_driver: cannot write %s\n", out_path.c_str());
    return 1;
  }
  if (view_path.empty()) {
    view_path = out_path + ".view";
    std::ofstream view(view_path);
    for (int i = 1; i <= 100; ++i) view << "17.03.2024 10:00:" << (i < 10 ? "0" : "") << i << " log line " << i << "\n";
  }
  TerminalUiOptions options;
  options.help_path = help_path;
  std::string error;
  {
    std::unique_ptr<TerminalUi> ui = MakeTerminalUi(options, error);
    if (!ui) {
      std::fprintf(stderr, "tui_driver: %s\n", error.c_str());
      return 1;
    }
    Result("started");
    MainMenu(*ui);
    EntryDialog(*ui);
    ConfigDialog(*ui);
    DialBox(*ui, out_path + ".go");
    Boxes(*ui);
    BigMenu(*ui);
    FileScreens(*ui, view_path, edit_path);
  }
  Result("done");
  std::fclose(g_out);
  return 0;
}
