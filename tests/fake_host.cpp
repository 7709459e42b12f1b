// The in-process fake Kel host (see fake_host.h).
#include "tests/fake_host.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/host_calls.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace {

FakeHost g_host;

std::string Str(const char* s) { return s ? std::string(s) : std::string("(null)"); }

HostCall& Record(const char* op) {
  if (std::this_thread::get_id() != g_host.host_thread) ++g_host.wrong_thread_calls;
  g_host.calls.push_back(HostCall{});
  g_host.calls.back().op = op;
  return g_host.calls.back();
}

int HOSTAPI FakeMenu(int, int x, int y, int, unsigned flags, const char* title, const char* bottom,
                     const char* help, const int* break_keys, int* break_code, const HostMenuItem* items,
                     int count) {
  HostCall& c = Record("Menu");
  c.x1 = x;
  c.y1 = y;
  c.flags = flags;
  c.title = Str(title);
  c.bottom = Str(bottom);
  c.help = Str(help);
  for (const int* k = break_keys; k && *k; ++k) c.break_keys.push_back(*k);
  c.rows.assign(items, items + count);
  int row = -1, brk = -1;
  if (g_host.menu_answers.empty()) {
    g_host.exhausted = true;
  } else {
    std::tie(row, brk) = g_host.menu_answers.front();
    g_host.menu_answers.pop_front();
  }
  if (break_code) *break_code = brk;
  c.break_code = brk;
  return c.result = row;
}

int HOSTAPI FakeDialog(int, int x1, int y1, int x2, int y2, const char* help, HostDialogItem* items, int count) {
  HostCall& c = Record("Dialog");
  c.x1 = x1;
  c.y1 = y1;
  c.x2 = x2;
  c.y2 = y2;
  c.help = Str(help);
  c.dialog.assign(items, items + count);
  if (g_host.dialog_answers.empty()) {
    g_host.exhausted = true;
    return c.result = -1;
  }
  DialogAnswer a = g_host.dialog_answers.front();
  g_host.dialog_answers.pop_front();
  for (auto& [i, t] : a.texts) {
    if (i >= 0 && i < count) {
      std::snprintf(items[i].Data, sizeof items[i].Data, "%s", t.c_str());
    }
  }
  for (auto& [i, s] : a.states) {
    if (i >= 0 && i < count) items[i].Selected = s;
  }
  return c.result = a.closing;
}

int HOSTAPI FakeMessage(int, unsigned flags, const char* help, const char* const* items, int count, int buttons) {
  HostCall& c = Record("Message");
  c.flags = flags;
  c.help = Str(help);
  for (int i = 0; i < count; ++i) c.items.push_back(Str(items[i]));
  c.buttons = buttons;
  if (buttons == 0) return c.result = -1;
  if (g_host.message_answers.empty()) {
    g_host.exhausted = true;
    return c.result = -1;
  }
  c.result = g_host.message_answers.front();
  g_host.message_answers.pop_front();
  return c.result;
}

const char* HOSTAPI FakeGetMessageText(int, int n) {
  if (std::this_thread::get_id() != g_host.host_thread) ++g_host.wrong_thread_calls;
  static std::map<int, std::string> cache;
  n &= 127;
  cache[n] = g_host.Text(n);
  return cache[n].c_str();
}

intptr_t g_next_screen = 1;

void* HOSTAPI FakeSaveScreen(int x1, int y1, int x2, int y2) {
  HostCall& c = Record("SaveScreen");
  c.x1 = x1;
  c.y1 = y1;
  c.x2 = x2;
  c.y2 = y2;
  c.handle = g_next_screen++;
  ++g_host.open_screens;
  return reinterpret_cast<void*>(c.handle);
}

void HOSTAPI FakeRestoreScreen(void* screen) {
  HostCall& c = Record("RestoreScreen");
  c.handle = reinterpret_cast<intptr_t>(screen);
  --g_host.open_screens;
}

int HOSTAPI FakeViewer(const char* file, const char* title, int x1, int y1, int x2, int y2, unsigned flags) {
  HostCall& c = Record("Viewer");
  c.text = Str(file);
  c.title = Str(title);
  c.x1 = x1;
  c.y1 = y1;
  c.x2 = x2;
  c.y2 = y2;
  c.flags = flags;
  return c.result = 1;
}

int HOSTAPI FakeEditor(const char* file, const char* title, int x1, int y1, int x2, int y2, unsigned flags, int,
                       int) {
  HostCall& c = Record("Editor");
  c.text = Str(file);
  c.title = Str(title);
  c.x1 = x1;
  c.y1 = y1;
  c.x2 = x2;
  c.y2 = y2;
  c.flags = flags;
  return c.result = 1;
}

void HOSTAPI FakeText(int x, int y, int color, const char* text) {
  HostCall& c = Record("Text");
  c.x1 = x;
  c.y1 = y;
  c.color = color;
  c.text_null = text == nullptr;
  c.text = text ? text : "";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

FakeHost& FakeHost::Get() { return g_host; }

FakeHost& FakeHost::Install(const std::string& module_path) {
  g_host = FakeHost{};
  g_host.host_thread = std::this_thread::get_id();
  HostStartupInfo& r = g_host.record;
  r.StructSize = sizeof(HostStartupInfo);
  std::snprintf(r.ModulePath, sizeof r.ModulePath, "%s", module_path.c_str());
  r.PluginId = 0x4b454c;
  r.Menu = FakeMenu;
  r.Dialog = FakeDialog;
  r.Message = FakeMessage;
  r.GetMessageText = FakeGetMessageText;
  r.SaveScreen = FakeSaveScreen;
  r.RestoreScreen = FakeRestoreScreen;
  r.Viewer = FakeViewer;
  r.Editor = FakeEditor;
  r.Text = FakeText;
  SetHostRecord(&r);
  SetModulePathFromField(r.ModulePath);
  return g_host;
}

std::string FakeHost::Text(int n) const {
  auto it = texts.find(n);
  return it != texts.end() ? it->second : "<" + std::to_string(n) + ">";
}

std::vector<HostCall> FakeHost::Calls(const std::string& op) const {
  std::vector<HostCall> out;
  for (const HostCall& c : calls) {
    if (c.op == op) out.push_back(c);
  }
  return out;
}

std::string FakeHost::Ops() const {
  std::string out;
  for (const HostCall& c : calls) {
    if (!out.empty()) out += ' ';
    out += c.op;
  }
  return out;
}

void PluginTest::SetUp() {
  char tmpl[] = "/tmp/vez_test_XXXXXX";
  const char* made = mkdtemp(tmpl);
  ASSERT_NE(made, nullptr);
  root = made;
  world_dir = root + "/world";
  plugin_dir = root + "/plugin";
  std::filesystem::create_directories(world_dir);
  std::filesystem::create_directories(plugin_dir);
  setenv("WINAPI_WORLD", world_dir.c_str(), 1);
  StandinReloadWorld();
  module_path = world::WindowsPath(plugin_dir + "/vezuzaziz.dll");
  host = &FakeHost::Install(module_path);
  Settings() = PluginSettings{};
  VersionRecord() = OSVERSIONINFOA{};
}

void PluginTest::TearDown() {
  if (!root.empty() && !getenv("VEZ_KEEP_TEST_DIRS")) {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
}

void PluginTest::ReloadWorld() { StandinReloadWorld(); }

void PluginTest::WriteWorldFile(const std::string& name, const std::string& text) {
  std::ofstream(world_dir + "/" + name, std::ios::binary) << text;
  StandinReloadWorld();
}

void PluginTest::WritePluginFile(const std::string& name, const std::string& text) {
  std::ofstream(plugin_dir + "/" + name, std::ios::binary) << text;
}

std::string PluginTest::ReadPluginFile(const std::string& name) const { return ReadFile(plugin_dir + "/" + name); }
std::string PluginTest::ReadWorldFile(const std::string& name) const { return ReadFile(world_dir + "/" + name); }

bool PluginTest::PluginFileExists(const std::string& name) const {
  return std::filesystem::exists(plugin_dir + "/" + name);
}

std::vector<std::string> PluginTest::Journal() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadWorldFile("journal.log"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> PluginTest::LogTexts(const std::string& log_name) const {
  std::vector<std::string> lines;
  std::string data = ReadPluginFile(log_name);
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find("\r\n", pos);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(pos, end - pos);
    lines.push_back(line.size() >= 17 ? line.substr(17) : line);
    pos = end + 2;
  }
  return lines;
}
