// The host side of HostStartupInfo, and the calls of the plug-in's exports.
//
// A HostSession fills the record whose operations the plug-in calls; each
// operation checks its arguments against the host's rules, hands the call
// to the UI, and writes one transcript line with the arguments and the
// answer. Breaches of the rules (a foreign PluginId, an unknown screen
// handle, a call from a thread other than the host's, a missing closing
// zero, ...) become transcript error lines; the host then goes on as well as
// it can. One session exists at a time (the operations are plain functions
// and find it through a module-wide pointer); everything runs on the thread
// that created it.
#pragma once

#include <string>
#include <vector>

#include "host/host_ui.h"
#include "host/language_file.h"
#include "host/transcript.h"
#include "shell/host_interface.h"

// The PluginId kelhost hands the plug-in ("KEL").
constexpr int kHostPluginId = 0x4b454c;

class HostSession {
 public:
  // All three must outlive the session. With `viewer_dump` every Viewer
  // line is followed by the file's content between "--- view" and "--- end".
  HostSession(HostUi& ui, Transcript& transcript, const LanguageFile& language, bool viewer_dump);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // The record for SetStartupInfo: its size, the module path (cut to fit,
  // with an error line, if longer than 259 bytes), kHostPluginId, the root
  // key "Software\Kel\Plugins", every operation; the slots this host does
  // not provide hold functions that end the program with a clear message.
  // Also tells the transcript the module path.
  HostStartupInfo MakeStartupInfo(const std::string& module_path);

  // The exports, called with a transcript line each (written when the call
  // has returned). CallGetPluginInfo checks the record and returns false,
  // with an error line, when it is unusable. CallOpenPlugin passes `text` as
  // the item for the command line (origin 4) and `item` otherwise. After
  // OpenPlugin and Configure every saved screen must have been restored.
  void CallSetStartupInfo(SetStartupInfoFn fn, const HostStartupInfo& record);
  bool CallGetPluginInfo(GetPluginInfoFn fn, PluginInfo& info);
  int CallOpenPlugin(OpenPluginFn fn, int origin, const std::string* text, intptr_t item);
  int CallConfigure(ConfigureFn fn, int item);

  // The plug-in's menu texts as a transcript list (["a","b"], or null), at
  // most 64 of them.
  std::string MenuTexts(const char* const* texts, int count) const;
  // All fields of a PluginInfo, in transcript order: `size=40`, `flags=12`,
  // `disk=null`, ...
  std::vector<std::string> PluginInfoFields(const PluginInfo& info) const;

  // Saved screens not yet restored.
  int OpenScreens() const { return static_cast<int>(saved_.size()); }

 private:
  friend struct HostOperations;
  void CheckThread(const char* op);
  void CheckPluginId(const char* op, int id);
  void CheckScreensRestored(const char* op);

  HostUi& ui_;
  Transcript& transcript_;
  const LanguageFile& language_;
  bool viewer_dump_;
  unsigned long host_thread_;
  int next_handle_ = 1;
  std::vector<int> saved_;  // handles of saved screens, in order
};
