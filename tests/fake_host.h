// An in-process fake Kel host for unit tests of the plug-in's code.
//
// It fills a HostStartupInfo whose operations record every call (as a
// HostCall, structurally) and answer Menu, Dialog and Message from queues
// that the test fills beforehand. An interactive call with nothing queued is
// answered as Esc and marks the host `exhausted`. Calls from any thread but
// the one that installed the host are recorded and flagged, because the
// plug-in must call the host from the host's thread only.
//
// PluginTest is a fixture that gives each test a fresh world directory and a
// fresh plug-in directory, points WINAPI_WORLD at the world, installs the
// fake host with the module path <plugin dir>\vezuzaziz.dll and resets the
// plug-in's settings to the load-time state.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "shell/host_interface.h"

struct HostCall {
  std::string op;  // Menu, Dialog, Message, SaveScreen, RestoreScreen, Text, Viewer, Editor
  unsigned flags = 0;
  std::string help;  // help topic; "(null)" for a null pointer
  std::string title;
  std::string bottom;
  std::vector<std::string> items;  // Message items
  int buttons = 0;
  std::vector<HostMenuItem> rows;  // Menu rows as passed
  std::vector<int> break_keys;     // Menu break keys, without the closing 0
  std::vector<HostDialogItem> dialog;  // Dialog items as passed (before the answer is written)
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int color = 0;
  std::string text;  // Text text; Viewer/Editor file path
  bool text_null = false;
  intptr_t handle = 0;  // SaveScreen result, RestoreScreen argument
  int result = 0;
  int break_code = -1;  // what the host wrote into the break code, for Menu
};

struct DialogAnswer {
  int closing = -1;
  std::map<int, std::string> texts;  // item index -> new text
  std::map<int, int> states;         // item index -> new selected state
};

class FakeHost {
 public:
  // Installs a fresh fake host: clears calls and queues, sets the module path
  // and hands the record to the plug-in (SetHostRecord and the module path).
  static FakeHost& Install(const std::string& module_path);
  static FakeHost& Get();

  HostStartupInfo record{};
  std::vector<HostCall> calls;
  std::deque<std::pair<int, int>> menu_answers;  // row, break-key index (-1 Enter)
  std::deque<DialogAnswer> dialog_answers;
  std::deque<int> message_answers;
  std::map<int, std::string> texts;  // message catalogue; missing numbers read "<N>"
  bool exhausted = false;
  int wrong_thread_calls = 0;
  int open_screens = 0;  // SaveScreen results not yet restored
  std::thread::id host_thread;

  void QueueMenu(int row, int break_index = -1) { menu_answers.emplace_back(row, break_index); }
  void QueueDialog(int closing, std::map<int, std::string> new_texts = {}, std::map<int, int> states = {}) {
    dialog_answers.push_back({closing, std::move(new_texts), std::move(states)});
  }
  void QueueMessage(int button) { message_answers.push_back(button); }

  // The text the fake host returns for message n.
  std::string Text(int n) const;
  std::vector<HostCall> Calls(const std::string& op) const;
  // The ops of all calls in order, e.g. "SaveScreen Message Text Text ...".
  std::string Ops() const;
};

// A fresh world and plug-in directory per test (see above).
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a file in the world directory.
  void WriteWorldFile(const std::string& name, const std::string& text);
  // Writes a file in the plug-in directory.
  void WritePluginFile(const std::string& name, const std::string& text);
  std::string ReadPluginFile(const std::string& name) const;
  std::string ReadWorldFile(const std::string& name) const;
  bool PluginFileExists(const std::string& name) const;
  // The stand-in's journal lines.
  std::vector<std::string> Journal() const;
  // The log lines of the default single log file or today's daily file,
  // each without its 17-character time stamp and line end.
  std::vector<std::string> LogTexts(const std::string& log_name) const;
  // Re-reads the world files after a test changed them.
  void ReloadWorld();

  FakeHost* host = nullptr;
  std::string root;        // temporary directory of this test
  std::string world_dir;   // root + "/world"
  std::string plugin_dir;  // root + "/plugin" (Linux path, no trailing slash)
  std::string module_path; // Windows form of plugin_dir + "/vezuzaziz.dll"
};
