// A tiny plug-in for kelhost's end-to-end tests. It exports the five names
// and, by the command text it is opened with, calls host operations and
// shows what came back in a box without buttons ("Echo" boxes), so that the
// transcript proves both the arguments and the answers crossed intact.
#include <cstdio>
#include <cstring>
#include <string>

#include "shell/host_interface.h"

namespace {

HostStartupInfo g_host{};
const char* g_menu_texts[1] = {nullptr};

const char* Msg(int n) { return g_host.GetMessageText(g_host.PluginId, n); }

void Echo(const std::string& text) {
  const char* items[] = {"Echo", text.c_str()};
  g_host.Message(g_host.PluginId, 0, nullptr, items, 2, 0);
}

// The plug-in directory: the module path up to and with its last backslash.
std::string PluginDirectory() {
  std::string path = g_host.ModulePath;
  return path.substr(0, path.rfind('\\') + 1);
}

HostMenuItem Row(const char* text, int selected = 0, int separator = 0) {
  HostMenuItem row{};
  std::snprintf(row.Text, sizeof row.Text, "%s", text);
  row.Selected = selected;
  row.Separator = separator;
  return row;
}

HostDialogItem Item(int type, int x1, int y1, const char* data, int selected = 0, unsigned flags = 0,
                    int default_button = 0) {
  HostDialogItem item{};
  item.Type = type;
  item.X1 = x1;
  item.Y1 = y1;
  item.Selected = selected;
  item.Flags = flags;
  item.DefaultButton = default_button;
  std::snprintf(item.Data, sizeof item.Data, "%s", data);
  return item;
}

void RunMenu() {
  static const int break_keys[] = {115, 45, 46, 0};
  const char* title = Msg(1);
  const char* bottom = Msg(2);
  const HostMenuItem rows[] = {Row("&1. Office", -1), Row("&2. Home"), Row("", 0, -1), Row(Msg(10))};
  int break_code = 99;
  const int row =
      g_host.Menu(g_host.PluginId, -1, -1, 0, 2, title, bottom, "MainMenu", break_keys, &break_code, rows, 4);
  Echo("row=" + std::to_string(row) + " break=" + std::to_string(break_code));
}

void RunDialog() {
  HostDialogItem items[] = {
      Item(DI_DOUBLEBOX, 0, 0, "Title"),   Item(DI_EDIT, 2, 1, "old"),
      Item(DI_PSWEDIT, 2, 2, "secret"),    Item(DI_CHECKBOX, 2, 3, "Check", 1),
      Item(DI_RADIOBUTTON, 2, 4, "A", 1, DIF_GROUP), Item(DI_RADIOBUTTON, 2, 5, "B"),
      Item(DI_BUTTON, 2, 6, "OK", 0, 0, -1), Item(DI_BUTTON, 10, 6, "Cancel"),
  };
  items[0].X2 = 30;
  items[0].Y2 = 8;
  const int closing = g_host.Dialog(g_host.PluginId, -1, -1, 30, 8, "Config", items, 8);
  Echo("closing=" + std::to_string(closing) + " edit=" + items[1].Data + " password=" + items[2].Data +
       " check=" + std::to_string(items[3].Selected) + " radio=" + std::to_string(items[4].Selected) +
       std::to_string(items[5].Selected));
}

void RunMessage() {
  const char* title = Msg(5);
  const char* ok = Msg(4);
  const char* cancel = Msg(23);
  const char* items[] = {title, "Line", "\x01", ok, cancel};
  const int button = g_host.Message(g_host.PluginId, 1, nullptr, items, 5, 2);
  Echo("button=" + std::to_string(button));
}

void RunScreens() {
  void* screen = g_host.SaveScreen(0, 0, -1, -1);
  const char* items[] = {"Busy", "Dialling"};
  g_host.Message(g_host.PluginId, 0, nullptr, items, 2, 0);
  g_host.Text(0, 0, 7, "Connecting");
  g_host.Text(0, 0, 7, nullptr);
  g_host.RestoreScreen(screen);
  g_host.RestoreScreen(screen);  // a second time: the host must notice
}

void RunFiles() {
  const std::string log = PluginDirectory() + "test.log";
  g_host.Viewer(log.c_str(), nullptr, 0, 0, -1, -1, 0);
  const std::string list = PluginDirectory() + "startup.lst";
  const int first = g_host.Editor(list.c_str(), nullptr, 0, 0, -1, -1, 0, 1, 1);
  const int second = g_host.Editor(list.c_str(), nullptr, 0, 0, -1, -1, 0, 1, 1);
  Echo("editor=" + std::to_string(first) + "," + std::to_string(second));
}

}  // namespace

extern "C" {

PLUGIN_EXPORT void HOSTAPI SetStartupInfo(const HostStartupInfo* info) { std::memcpy(&g_host, info, sizeof g_host); }

PLUGIN_EXPORT void HOSTAPI SetStartUpInfo(const HostStartupInfo*) {}

PLUGIN_EXPORT void HOSTAPI GetPluginInfo(PluginInfo* info) {
  std::memset(info, 0, sizeof *info);
  info->Flags = 12;
  g_menu_texts[0] = Msg(0);
  info->PluginMenuStrings = g_menu_texts;
  info->PluginMenuStringsNumber = 1;
  info->PluginConfigStrings = g_menu_texts;
  info->PluginConfigStringsNumber = 1;
  info->CommandPrefix = "tst:probe";
  info->StructSize = sizeof *info;
}

PLUGIN_EXPORT int HOSTAPI OpenPlugin(int origin, intptr_t item) {
  if (origin != OPEN_COMMANDLINE) {
    Echo("origin=" + std::to_string(origin) + " item=" + std::to_string(item));
    return -1;
  }
  const std::string command = reinterpret_cast<const char*>(item);
  if (command == "menu") RunMenu();
  else if (command == "dialog") RunDialog();
  else if (command == "message") RunMessage();
  else if (command == "screens") RunScreens();
  else if (command == "files") RunFiles();
  else if (command == "leak") g_host.SaveScreen(0, 0, -1, -1);
  else if (command == "badid") Echo(g_host.GetMessageText(g_host.PluginId + 1, 4));
  else if (command == "unused") g_host.Unused288();
  else if (command == "panel") return 5;
  else Echo("text=" + command);
  return -1;
}

PLUGIN_EXPORT int HOSTAPI Configure(int item) {
  Echo("configure " + std::to_string(item) + " " + Msg(133));
  return -1;
}

}  // extern "C"
