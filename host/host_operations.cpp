// The host operations that kelhost lends the plug-in, and the export calls.
#include "host/host_operations.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/plugin_library.h"
#include "winapi/stdcall_check.h"

namespace {

HostSession* g_session = nullptr;

// Longest lists the host reads from the plug-in's records.
constexpr int kMaxListLength = 64;

// An error line when an export changed the stack pointer other than
// stdcall does (on 32-bit x86; winapi/stdcall_check.h).
void CheckStack(Transcript& transcript, const char* name, long stack_left) {
  if (stack_left == 0) return;
  transcript.Error(std::string(name) + ": the stack pointer is " + std::to_string(stack_left) +
                   " bytes off after the call; an export must be stdcall and remove its own arguments");
}

std::string Hex(unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%x", value);
  return buffer;
}

// The text of a fixed field: up to its first zero, or the whole field when
// it has none (then `terminated` is false).
std::string FieldText(const char* field, size_t size, bool& terminated) {
  const void* zero = std::memchr(field, 0, size);
  terminated = zero != nullptr;
  return std::string(field, terminated ? static_cast<size_t>(static_cast<const char*>(zero) - field) : size);
}

// One line of a viewed file for the transcript: bytes below 0x20 and from
// 0x7f up as \xHH; everything else, backslashes too, as it stands.
std::string DumpLine(const std::string& line) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (char ch : line) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x20 || byte >= 0x7f) {
      out += "\\x";
      out += digits[byte >> 4];
      out += digits[byte & 0x0f];
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

// The operations in HostStartupInfo. Each finds the session, checks, asks
// the UI and writes its transcript line.
struct HostOperations {
  static HostSession& S() {
    if (g_session == nullptr) {
      std::fputs("kelhost: the plug-in called a host operation outside a session\n", stderr);
      std::abort();
    }
    return *g_session;
  }

  static int HOSTAPI Menu(int plugin_id, int x, int y, int max_height, unsigned flags, const char* title,
                          const char* bottom, const char* help, const int* break_keys, int* break_code,
                          const HostMenuItem* rows, int row_count) {
    HostSession& s = S();
    s.CheckThread("Menu");
    s.CheckPluginId("Menu", plugin_id);
    Transcript& t = s.transcript_;
    MenuCall call;
    call.x = x;
    call.y = y;
    call.max_height = max_height;
    call.flags = flags;
    call.title = title;
    call.bottom = bottom;
    call.help = help;
    call.rows = rows;
    call.row_count = row_count;

    std::string line = "Menu x=" + std::to_string(x) + " y=" + std::to_string(y) +
                       " maxh=" + std::to_string(max_height) + " flags=" + std::to_string(flags) +
                       " title=" + t.Text(title) + " bottom=" + t.Text(bottom) + " help=" + t.Text(help) +
                       " breakkeys=";
    if (break_keys == nullptr) {
      line += "null";
    } else {
      call.has_break_keys = true;
      int i = 0;
      for (; i < kMaxListLength && break_keys[i] != 0; ++i) call.break_keys.push_back(break_keys[i]);
      if (i == kMaxListLength) t.Error("Menu: the break-key list has no closing 0 within 64 keys");
      line += "[";
      for (size_t k = 0; k < call.break_keys.size(); ++k) {
        line += k ? "," : "";
        line += std::to_string(call.break_keys[k]);
      }
      line += "]";
    }
    line += " rows=";
    if (row_count < 0 || (rows == nullptr && row_count > 0)) {
      t.Error("Menu: " + std::to_string(row_count) + " rows at " + (rows ? "a" : "a null") + " pointer");
      call.row_count = 0;
    }
    if (rows == nullptr) {
      line += "null";
    } else {
      // Room for every row at once: a menu of many rows makes a line of
      // megabytes, which growing step by step would hold twice over.
      size_t size = line.size() + 64;
      for (int r = 0; r < call.row_count; ++r) size += strnlen(rows[r].Text, sizeof rows[r].Text) + 40;
      line.reserve(size);
      line += "[";
      for (int r = 0; r < call.row_count; ++r) {
        bool terminated = true;
        const std::string text = FieldText(rows[r].Text, sizeof rows[r].Text, terminated);
        if (!terminated) t.Error("Menu: the text of row " + std::to_string(r) + " has no closing zero");
        line += r ? ",{" : "{";
        line += t.Text(text) + " sel=" + std::to_string(rows[r].Selected) + " chk=" +
                std::to_string(rows[r].Checked) + " sep=" + std::to_string(rows[r].Separator) + "}";
      }
      line += "]";
    }

    int break_index = -1;
    const int result = s.ui_.Menu(call, break_index);
    if (break_code != nullptr) *break_code = break_index;
    line += " -> " + std::to_string(result) + " break=" + (break_code ? std::to_string(break_index) : "null");
    t.Line(line);
    return result;
  }

  // One dialog item as the transcript shows it.
  static std::string DialogItemText(Transcript& t, const HostDialogItem& item, int index) {
    bool terminated = true;
    const std::string data = FieldText(item.Data, sizeof item.Data, terminated);
    if (!terminated) t.Error("Dialog: the data of item " + std::to_string(index) + " has no closing zero");
    return "{type=" + std::to_string(item.Type) + " x1=" + std::to_string(item.X1) + " y1=" +
           std::to_string(item.Y1) + " x2=" + std::to_string(item.X2) + " y2=" + std::to_string(item.Y2) +
           " focus=" + std::to_string(item.Focus) + " sel=" + std::to_string(item.Selected) +
           " flags=" + Hex(item.Flags) + " def=" + std::to_string(item.DefaultButton) + " data=" + t.Text(data) + "}";
  }

  static int HOSTAPI Dialog(int plugin_id, int x1, int y1, int x2, int y2, const char* help, HostDialogItem* items,
                            int count) {
    HostSession& s = S();
    s.CheckThread("Dialog");
    s.CheckPluginId("Dialog", plugin_id);
    Transcript& t = s.transcript_;
    std::string line = "Dialog x1=" + std::to_string(x1) + " y1=" + std::to_string(y1) +
                       " x2=" + std::to_string(x2) + " y2=" + std::to_string(y2) + " help=" + t.Text(help) + " items=";
    if (count < 0 || (items == nullptr && count > 0)) {
      t.Error("Dialog: " + std::to_string(count) + " items at " + (items ? "a" : "a null") + " pointer");
      count = 0;
    }
    if (items == nullptr) {
      line += "null";
    } else {
      line += "[";
      for (int i = 0; i < count; ++i) {
        line += i ? "," : "";
        line += DialogItemText(t, items[i], i);
      }
      line += "]";
    }
    int result = -1;
    std::string changes;
    {
      const std::vector<HostDialogItem> before(items, items + count);
      DialogCall call;
      call.x1 = x1;
      call.y1 = y1;
      call.x2 = x2;
      call.y2 = y2;
      call.help = help;
      result = s.ui_.Dialog(call, items, count);
      for (int i = 0; i < count; ++i) {
        bool terminated = true;
        const std::string old_text = FieldText(before[static_cast<size_t>(i)].Data, sizeof items[i].Data, terminated);
        const std::string new_text = FieldText(items[i].Data, sizeof items[i].Data, terminated);
        if (new_text != old_text) changes += " set[" + std::to_string(i) + "]=" + t.Text(new_text);
        if (items[i].Selected != before[static_cast<size_t>(i)].Selected)
          changes += " check[" + std::to_string(i) + "]=" + std::to_string(items[i].Selected);
      }
    }
    t.Line(line + " -> " + std::to_string(result) + changes);
    return result;
  }

  static int HOSTAPI Message(int plugin_id, unsigned flags, const char* help, const char* const* items,
                             int count, int buttons) {
    HostSession& s = S();
    s.CheckThread("Message");
    s.CheckPluginId("Message", plugin_id);
    Transcript& t = s.transcript_;
    std::string line = "Message flags=" + std::to_string(flags) + " help=" + t.Text(help) + " items=";
    if (count < 1 || count > kMaxListLength || items == nullptr) {
      t.Error("Message: " + std::to_string(count) + " items at " + (items ? "a" : "a null") + " pointer");
      count = items == nullptr ? 0 : std::clamp(count, 0, kMaxListLength);
    }
    std::vector<std::string> texts;
    if (items == nullptr) {
      line += "null";
    } else {
      line += "[";
      for (int i = 0; i < count; ++i) {
        if (items[i] == nullptr) t.Error("Message: item " + std::to_string(i) + " is null");
        texts.emplace_back(items[i] ? items[i] : "");
        line += i ? "," : "";
        line += t.Text(items[i]);
      }
      line += "]";
    }
    line += " buttons=" + std::to_string(buttons);
    if (buttons < 0 || buttons > count - 1) {
      t.Error("Message: " + std::to_string(buttons) + " buttons in a box of " + std::to_string(count) + " items");
      buttons = std::clamp(buttons, 0, std::max(count - 1, 0));
    }
    const int result = s.ui_.Message(flags, help, texts, buttons);
    t.Line(line + " -> " + std::to_string(result));
    return result;
  }

  static const char* HOSTAPI GetMessageText(int plugin_id, int number) {
    HostSession& s = S();
    s.CheckThread("GetMessageText");
    s.CheckPluginId("GetMessageText", plugin_id);
    const char* text = s.language_.Text(number);
    s.transcript_.Line("GetMessageText " + std::to_string(number) + " -> " + s.transcript_.Text(text) +
                       (s.language_.Has(number & 127) ? "" : " missing"));
    return text;
  }

  static void* HOSTAPI SaveScreen(int x1, int y1, int x2, int y2) {
    HostSession& s = S();
    s.CheckThread("SaveScreen");
    const int handle = s.next_handle_++;
    s.ui_.SaveScreen(handle, x1, y1, x2, y2);
    s.saved_.push_back(handle);
    s.transcript_.Line("SaveScreen " + std::to_string(x1) + " " + std::to_string(y1) + " " + std::to_string(x2) +
                       " " + std::to_string(y2) + " -> " + std::to_string(handle));
    return reinterpret_cast<void*>(static_cast<intptr_t>(handle));
  }

  static void HOSTAPI RestoreScreen(void* screen) {
    HostSession& s = S();
    s.CheckThread("RestoreScreen");
    const intptr_t value = reinterpret_cast<intptr_t>(screen);
    s.transcript_.Line("RestoreScreen " + std::to_string(value));
    auto it = std::find(s.saved_.begin(), s.saved_.end(), value);
    if (it == s.saved_.end()) {
      s.transcript_.Error("RestoreScreen: handle " + std::to_string(value) + " is not a saved screen");
      return;
    }
    s.ui_.RestoreScreen(*it);
    s.saved_.erase(it);
  }

  static void HOSTAPI Text(int x, int y, int color, const char* text) {
    HostSession& s = S();
    s.CheckThread("Text");
    s.ui_.Text(x, y, color, text);
    s.transcript_.Line("Text x=" + std::to_string(x) + " y=" + std::to_string(y) + " color=" +
                       std::to_string(color) + " text=" + s.transcript_.Text(text));
  }

  static FileCall MakeFileCall(const char* file, const char* title, int x1, int y1, int x2, int y2, unsigned flags) {
    FileCall call;
    call.path = file ? file : "";
    call.local_path = LocalPath(call.path);
    call.title = title;
    call.x1 = x1;
    call.y1 = y1;
    call.x2 = x2;
    call.y2 = y2;
    call.flags = flags;
    return call;
  }

  static std::string FileFields(const Transcript& t, const char* file, const char* title, int x1, int y1, int x2,
                                int y2, unsigned flags) {
    return "file=" + t.Text(file) + " title=" + t.Text(title) + " x1=" + std::to_string(x1) +
           " y1=" + std::to_string(y1) + " x2=" + std::to_string(x2) + " y2=" + std::to_string(y2) +
           " flags=" + std::to_string(flags);
  }

  static int HOSTAPI Viewer(const char* file, const char* title, int x1, int y1, int x2, int y2, unsigned flags) {
    HostSession& s = S();
    s.CheckThread("Viewer");
    Transcript& t = s.transcript_;
    if (file == nullptr) t.Error("Viewer: the file name is null");
    const FileCall call = MakeFileCall(file, title, x1, y1, x2, y2, flags);
    const int result = file ? s.ui_.Viewer(call) : 0;
    t.Line("Viewer " + FileFields(t, file, title, x1, y1, x2, y2, flags) + " -> " + std::to_string(result));
    if (s.viewer_dump_ && result != 0) {
      std::ifstream in(call.local_path, std::ios::binary);
      std::ostringstream content;
      content << in.rdbuf();
      const std::string text = content.str();
      t.Line("--- view");
      size_t start = 0;
      while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string one = text.substr(start, end - start);
        if (!one.empty() && one.back() == '\r') one.pop_back();
        t.Line(DumpLine(one));
        start = end + 1;
      }
      t.Line("--- end");
    }
    return result;
  }

  static int HOSTAPI Editor(const char* file, const char* title, int x1, int y1, int x2, int y2, unsigned flags,
                            int line, int column) {
    HostSession& s = S();
    s.CheckThread("Editor");
    Transcript& t = s.transcript_;
    if (file == nullptr) t.Error("Editor: the file name is null");
    FileCall call = MakeFileCall(file, title, x1, y1, x2, y2, flags);
    call.line = line;
    call.column = column;
    const int result = file ? s.ui_.Editor(call) : 0;
    t.Line("Editor " + FileFields(t, file, title, x1, y1, x2, y2, flags) + " line=" + std::to_string(line) +
           " col=" + std::to_string(column) + " -> " + std::to_string(result));
    return result;
  }

  // The slots this host does not provide, named by their offset in the
  // 32-bit record.
  template <int Offset>
  static void Unused() {
    const std::string text = "the plug-in called the host operation at offset " + std::to_string(Offset) +
                             " of HostStartupInfo, which kelhost does not provide";
    if (g_session != nullptr)
      g_session->transcript_.Error(text);
    else
      std::fprintf(stderr, "kelhost: %s\n", text.c_str());
    std::abort();
  }
};

HostSession::HostSession(HostUi& ui, Transcript& transcript, const LanguageFile& language, bool viewer_dump)
    : ui_(ui), transcript_(transcript), language_(language), viewer_dump_(viewer_dump),
      host_thread_(CurrentThreadNumber()) {
  g_session = this;
}

HostSession::~HostSession() {
  if (g_session == this) g_session = nullptr;
}

void HostSession::CheckThread(const char* op) {
  if (CurrentThreadNumber() != host_thread_)
    transcript_.Error(std::string(op) + ": called from a thread other than the host's");
}

void HostSession::CheckPluginId(const char* op, int id) {
  if (id != kHostPluginId)
    transcript_.Error(std::string(op) + ": PluginId " + Hex(static_cast<unsigned>(id)) + " is not the host's " +
                      Hex(kHostPluginId));
}

void HostSession::CheckScreensRestored(const char* op) {
  if (saved_.empty()) return;
  std::string handles;
  for (int h : saved_) handles.append(" ").append(std::to_string(h));
  transcript_.Error(std::string(op) + " returned with saved screens not restored:" + handles);
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) ui_.RestoreScreen(*it);
  saved_.clear();
}

HostStartupInfo HostSession::MakeStartupInfo(const std::string& module_path) {
  HostStartupInfo info{};
  info.StructSize = sizeof(HostStartupInfo);
  if (module_path.size() >= sizeof info.ModulePath)
    transcript_.Error("the module path is longer than " + std::to_string(sizeof info.ModulePath - 1) + " bytes");
  std::memcpy(info.ModulePath, module_path.data(), std::min(module_path.size(), sizeof info.ModulePath - 1));
  info.PluginId = kHostPluginId;
  info.RootKey = "Software\\Kel\\Plugins";
  info.Menu = &HostOperations::Menu;
  info.Dialog = &HostOperations::Dialog;
  info.Message = &HostOperations::Message;
  info.GetMessageText = &HostOperations::GetMessageText;
  info.Unused288 = &HostOperations::Unused<288>;
  info.SaveScreen = &HostOperations::SaveScreen;
  info.RestoreScreen = &HostOperations::RestoreScreen;
  info.Unused300 = &HostOperations::Unused<300>;
  info.Unused304 = &HostOperations::Unused<304>;
  info.Unused308 = &HostOperations::Unused<308>;
  info.Viewer = &HostOperations::Viewer;
  info.Editor = &HostOperations::Editor;
  info.Unused320 = &HostOperations::Unused<320>;
  info.Unused324 = &HostOperations::Unused<324>;
  info.Text = &HostOperations::Text;
  info.Unused332 = &HostOperations::Unused<332>;
  transcript_.SetModulePath(info.ModulePath);
  return info;
}

void HostSession::CallSetStartupInfo(SetStartupInfoFn fn, const HostStartupInfo& record) {
  long stack_left = 0;
  CallCheckingStack(fn, stack_left, &record);
  transcript_.Line("SetStartupInfo size=" + std::to_string(record.StructSize) + " path=" +
                   transcript_.Text(record.ModulePath) + " id=" + Hex(static_cast<unsigned>(record.PluginId)) +
                   " rootkey=" + transcript_.Text(record.RootKey));
  CheckStack(transcript_, "SetStartupInfo", stack_left);
}

std::string HostSession::MenuTexts(const char* const* texts, int count) const {
  if (texts == nullptr) return "null";
  std::string out = "[";
  for (int i = 0; i < std::min(count, kMaxListLength); ++i) {
    out += i ? "," : "";
    out += transcript_.Text(texts[i]);
  }
  return out + "]";
}

std::vector<std::string> HostSession::PluginInfoFields(const PluginInfo& info) const {
  std::string numbers = "null";
  if (info.DiskMenuNumbers != nullptr) {
    numbers = "[";
    for (int i = 0; i < std::min(info.DiskMenuStringsNumber, kMaxListLength); ++i) {
      numbers += i ? "," : "";
      numbers += std::to_string(info.DiskMenuNumbers[i]);
    }
    numbers += "]";
  }
  return {
      "size=" + std::to_string(info.StructSize),
      "flags=" + std::to_string(info.Flags),
      "disk=" + MenuTexts(info.DiskMenuStrings, info.DiskMenuStringsNumber),
      "disknumbers=" + numbers,
      "diskcount=" + std::to_string(info.DiskMenuStringsNumber),
      "plugin=" + MenuTexts(info.PluginMenuStrings, info.PluginMenuStringsNumber),
      "plugincount=" + std::to_string(info.PluginMenuStringsNumber),
      "config=" + MenuTexts(info.PluginConfigStrings, info.PluginConfigStringsNumber),
      "configcount=" + std::to_string(info.PluginConfigStringsNumber),
      "prefix=" + transcript_.Text(info.CommandPrefix),
  };
}

bool HostSession::CallGetPluginInfo(GetPluginInfoFn fn, PluginInfo& info) {
  info = PluginInfo{};
  long stack_left = 0;
  CallCheckingStack(fn, stack_left, &info);
  CheckStack(transcript_, "GetPluginInfo", stack_left);
  if (info.StructSize != static_cast<int>(sizeof(PluginInfo))) {
    transcript_.Line("GetPluginInfo -> size=" + std::to_string(info.StructSize));
    transcript_.Error("GetPluginInfo: the record's size is " + std::to_string(info.StructSize) + ", not " +
                      std::to_string(sizeof(PluginInfo)));
    return false;
  }
  bool ok = true;
  const struct {
    const char* name;
    const char* const* texts;
    int count;
  } menus[] = {{"disk", info.DiskMenuStrings, info.DiskMenuStringsNumber},
               {"plug-in", info.PluginMenuStrings, info.PluginMenuStringsNumber},
               {"configuration", info.PluginConfigStrings, info.PluginConfigStringsNumber}};
  for (const auto& menu : menus) {
    if (menu.count < 0 || menu.count > kMaxListLength || (menu.texts == nullptr && menu.count > 0)) {
      transcript_.Error(std::string("GetPluginInfo: ") + std::to_string(menu.count) + " " + menu.name +
                        "-menu texts at " + (menu.texts ? "a" : "a null") + " pointer");
      ok = false;
    }
  }
  if (!ok) {
    transcript_.Line("GetPluginInfo -> size=" + std::to_string(info.StructSize));
    return false;
  }
  std::string line = "GetPluginInfo ->";
  for (const std::string& field : PluginInfoFields(info)) line.append(" ").append(field);
  transcript_.Line(line);
  return true;
}

int HostSession::CallOpenPlugin(OpenPluginFn fn, int origin, const std::string* text, intptr_t item) {
  const intptr_t argument = text != nullptr ? reinterpret_cast<intptr_t>(text->c_str()) : item;
  long stack_left = 0;
  const int result = CallCheckingStack(fn, stack_left, origin, argument);
  transcript_.Line("OpenPlugin " + std::to_string(origin) + " " +
                   (text != nullptr ? transcript_.Text(*text) : std::to_string(item)) + " -> " +
                   std::to_string(result));
  CheckStack(transcript_, "OpenPlugin", stack_left);
  if (result != -1)
    transcript_.Error("OpenPlugin returned " + std::to_string(result) + "; this host opens no panels (-1 expected)");
  CheckScreensRestored("OpenPlugin");
  return result;
}

int HostSession::CallConfigure(ConfigureFn fn, int item) {
  long stack_left = 0;
  const int result = CallCheckingStack(fn, stack_left, item);
  transcript_.Line("Configure " + std::to_string(item) + " -> " + std::to_string(result));
  CheckStack(transcript_, "Configure", stack_left);
  CheckScreensRestored("Configure");
  return result;
}
