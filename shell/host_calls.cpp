// Calls to the Kel host through the module-wide copy of its record.
#include "shell/host_calls.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "shell/messages.h"

namespace {

HostStartupInfo g_host{};
bool g_host_set = false;

// The message item list: five text slots shared by every box. A box uses the
// first slots and leaves the others as they were.
std::array<std::string, 5> g_message_texts;
std::array<const char*, 5> g_message_items{};

// The flags of every menu the plug-in shows.
constexpr unsigned kMenuFlags = 2;

}  // namespace

void SetHostRecord(const HostStartupInfo* info) {
  if (info == nullptr) return;
  std::memcpy(&g_host, info, sizeof g_host);
  g_host_set = true;
}

const HostStartupInfo& HostRecord() { return g_host; }

bool HostAvailable() {
  return g_host_set && g_host.Menu && g_host.Dialog && g_host.Message && g_host.GetMessageText;
}

std::string Msg(int number) {
  if (!g_host_set || g_host.GetMessageText == nullptr) return std::string();
  const char* text = g_host.GetMessageText(g_host.PluginId, number & 127);
  return text ? std::string(text) : std::string();
}

int ShowMessage(unsigned flags, const std::vector<std::string>& items, int buttons) {
  if (!HostAvailable()) return -1;
  const size_t count = std::min(items.size(), g_message_texts.size());
  for (size_t i = 0; i < count; ++i) {
    g_message_texts[i] = items[i];
    g_message_items[i] = g_message_texts[i].c_str();
  }
  return g_host.Message(g_host.PluginId, flags, nullptr, g_message_items.data(), static_cast<int>(count),
                        buttons);
}

void ShowWarning(const std::string& text) {
  ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), text, Msg(MOk)}, 1);
}

bool AskToDelete(const std::string& name) {
  const int answer =
      ShowMessage(0, {Msg(MDeleteTitle), Msg(MDeleteQuestion) + name + "?", Msg(MDeleteButton), Msg(MCancel)}, 2);
  return answer == 0;
}

int HostMenu(const std::string& title, const std::string& bottom, const char* help_topic, const int* break_keys,
             int* break_code, const std::vector<HostMenuItem>& rows) {
  if (break_code) *break_code = -1;
  if (!HostAvailable()) return -1;
  return g_host.Menu(g_host.PluginId, -1, -1, 0, kMenuFlags, title.c_str(), bottom.c_str(), help_topic, break_keys,
                     break_code, rows.data(), static_cast<int>(rows.size()));
}

int HostDialog(int x2, int y2, const char* help_topic, std::vector<HostDialogItem>& items) {
  if (!HostAvailable()) return -1;
  int result = g_host.Dialog(g_host.PluginId, -1, -1, x2, y2, help_topic, items.data(),
                             static_cast<int>(items.size()));
  // Whatever the host wrote back, every text stays zero-terminated.
  for (HostDialogItem& item : items) item.Data[sizeof item.Data - 1] = '\0';
  return result;
}

void HostText(int x, int y, int color, const char* text) {
  if (g_host_set && g_host.Text) g_host.Text(x, y, color, text);
}

void HostViewer(const std::string& path) {
  if (g_host_set && g_host.Viewer) g_host.Viewer(path.c_str(), nullptr, 0, 0, -1, -1, 0);
}

void HostEditor(const std::string& path) {
  if (g_host_set && g_host.Editor) g_host.Editor(path.c_str(), nullptr, 0, 0, -1, -1, 0, 1, 1);
}

HostDialogItem DialogItem(int type, int x1, int y1, int x2, int y2, const std::string& text, unsigned flags) {
  HostDialogItem item{};
  item.Type = type;
  item.X1 = x1;
  item.Y1 = y1;
  item.X2 = x2;
  item.Y2 = y2;
  item.Flags = flags;
  CopyToField(item.Data, sizeof item.Data, text);
  return item;
}

void CopyToField(char* field, size_t field_size, const std::string& text) {
  if (field_size == 0) return;
  const size_t n = std::min(text.size(), field_size - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

SavedScreen::SavedScreen() {
  if (g_host_set && g_host.SaveScreen) {
    handle_ = g_host.SaveScreen(0, 0, -1, -1);
    saved_ = true;
  }
}

SavedScreen::~SavedScreen() { Restore(); }

void SavedScreen::Restore() {
  if (!saved_) return;
  saved_ = false;
  if (g_host.RestoreScreen) g_host.RestoreScreen(handle_);
}
