// kelhost: a small Kel host that loads the plug-in library, lends it the
// host operations and opens it the way the command line asks. Exit status:
// 0 when all went well, 1 when the host could not run (options, files, the
// library or a needed export), 3 when the transcript holds error lines.
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/command_line.h"
#include "host/host_operations.h"
#include "host/language_file.h"
#include "host/plugin_library.h"
#include "host/script.h"
#include "host/scripted_ui.h"
#include "host/transcript.h"
#ifdef KELHOST_HAS_TERMINAL_UI
#include "host/terminal/terminal_ui.h"
#endif

namespace {

int Fail(const std::string& text) {
  std::fprintf(stderr, "kelhost: %s\n", text.c_str());
  return 1;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

struct Exports {
  SetStartupInfoFn set_startup_info = nullptr;
  GetPluginInfoFn get_plugin_info = nullptr;
  OpenPluginFn open_plugin = nullptr;
  ConfigureFn configure = nullptr;
  std::vector<std::string> found, missing;
};

template <typename Fn>
void Find(const PluginLibrary& library, const char* name, Fn& fn, Exports& exports) {
  void* address = library.Symbol(name);
  fn = reinterpret_cast<Fn>(address);
  (address != nullptr ? exports.found : exports.missing).push_back(name);
}

std::string NameList(const std::vector<std::string>& names) {
  std::string out = "[";
  for (size_t i = 0; i < names.size(); ++i) {
    out += i ? "," : "";
    out += names[i];
  }
  return out + "]";
}

int Run(const HostOptions& options) {
  SetStdoutBinary();
  // The library, kept as given (the plug-in directory comes from this path).
  std::string plugin_path = options.plugin;
  if (plugin_path.empty()) plugin_path = ExecutableDirectory() + DefaultPluginFileName();
  plugin_path = AbsolutePath(plugin_path);
  const std::string lang_path = options.lang.empty() ? DefaultLanguagePath(plugin_path) : options.lang;

  LanguageFile language;
  std::string error;
  if (!language.Load(lang_path, error)) return Fail("language file: " + error + " (name another with --lang)");

  std::vector<ScriptAnswer> answers;
  if (options.has_script) {
    std::string text;
    if (!ReadWholeFile(options.script, text)) return Fail("cannot read the script " + options.script);
    if (!ParseScript(text, answers, error)) return Fail(options.script + " " + error);
  }
  // A person at a terminal gets the terminal UI; a script, or output that
  // is not a terminal, gets the scripted one.
  const bool interactive = !options.has_script && options.action != HostOptions::Action::Info && StdoutIsTerminal();
#ifndef KELHOST_HAS_TERMINAL_UI
  if (interactive) {
    return Fail("this kelhost has no terminal UI; give --script FILE (an empty script answers Esc everywhere)");
  }
#endif

  // The transcript: the named file, else standard output; with --info only
  // when named.
  std::FILE* transcript_file = nullptr;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned(nullptr, &std::fclose);
  if (!options.transcript.empty()) {
    owned.reset(std::fopen(options.transcript.c_str(), "wb"));
    if (!owned) return Fail("cannot write the transcript " + options.transcript);
    transcript_file = owned.get();
  } else if (options.action != HostOptions::Action::Info && !interactive) {
    transcript_file = stdout;
  }
  // While the terminal UI owns the screen nothing else may write to it.
  Transcript transcript(transcript_file, interactive ? nullptr : stderr);

  PluginLibrary library;
  if (!library.Load(plugin_path, error)) return Fail(error);
  Exports exports;
  Find(library, "SetStartupInfo", exports.set_startup_info, exports);
  void* lower_u = nullptr;
  Find(library, "SetStartUpInfo", lower_u, exports);
  Find(library, "GetPluginInfo", exports.get_plugin_info, exports);
  Find(library, "OpenPlugin", exports.open_plugin, exports);
  Find(library, "Configure", exports.configure, exports);

  ScriptedUi scripted(std::move(answers), transcript);
  HostUi* ui = &scripted;
#ifdef KELHOST_HAS_TERMINAL_UI
  std::unique_ptr<TerminalUi> terminal;
  if (interactive) {
    TerminalUiOptions tui;
    tui.help_path = lang_path.substr(0, lang_path.rfind('.')) + ".hlp";
    terminal = MakeTerminalUi(tui, error);
    if (!terminal) return Fail("terminal UI: " + error);
    ui = terminal.get();
  }
#endif
  HostSession session(*ui, transcript, language, options.viewer_dump);
  const HostStartupInfo record = session.MakeStartupInfo(library.ModulePath());

  if (options.action == HostOptions::Action::Info) {
    std::printf("exports=%s missing=%s\n", NameList(exports.found).c_str(), NameList(exports.missing).c_str());
    PluginInfo info{};
    bool ok = exports.missing.empty();
    if (exports.set_startup_info != nullptr) session.CallSetStartupInfo(exports.set_startup_info, record);
    if (exports.get_plugin_info != nullptr && session.CallGetPluginInfo(exports.get_plugin_info, info)) {
      // One field a line, for grep.
      for (const std::string& field : session.PluginInfoFields(info)) std::printf("%s\n", field.c_str());
    } else {
      ok = false;
    }
    std::fflush(stdout);
    return ok && transcript.ErrorCount() == 0 ? 0 : 3;
  }

  if (exports.set_startup_info == nullptr) return Fail("the library does not export SetStartupInfo");
  if (exports.get_plugin_info == nullptr) return Fail("the library does not export GetPluginInfo");
  session.CallSetStartupInfo(exports.set_startup_info, record);
  PluginInfo info{};
  if (!session.CallGetPluginInfo(exports.get_plugin_info, info)) return 3;

  switch (options.action) {
    case HostOptions::Action::PluginMenu:
    case HostOptions::Action::DiskMenu:
    case HostOptions::Action::CommandLine: {
      if (exports.open_plugin == nullptr) return Fail("the library does not export OpenPlugin");
      if (options.action == HostOptions::Action::PluginMenu) {
        if (info.PluginMenuStringsNumber < 1) return Fail("the plug-in offers no plug-in menu item");
        session.CallOpenPlugin(exports.open_plugin, 0, nullptr, 0);
      } else if (options.action == HostOptions::Action::DiskMenu) {
        if (info.DiskMenuStringsNumber < 1) return Fail("the plug-in offers no disk menu item");
        session.CallOpenPlugin(exports.open_plugin, 1, nullptr, 0);
      } else {
        const std::string prefixes = info.CommandPrefix != nullptr ? info.CommandPrefix : "";
        std::string text;
        if (!MatchCommandPrefix(prefixes, options.command, text))
          return Fail("the plug-in's command prefix is \"" + prefixes + "\", not that of " + options.command);
        session.CallOpenPlugin(exports.open_plugin, 4, &text, 0);
      }
      break;
    }
    case HostOptions::Action::Configure:
      if (exports.configure == nullptr) return Fail("the library does not export Configure");
      if (info.PluginConfigStringsNumber < 1) return Fail("the plug-in offers no configuration menu item");
      session.CallConfigure(exports.configure, 0);
      break;
    case HostOptions::Action::Info:
    case HostOptions::Action::Help:
      break;
  }
  if (ui == &scripted) scripted.ReportUnusedAnswers();
  return transcript.ErrorCount() == 0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (!ParseHostOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "kelhost: %s\n%s", error.c_str(), HostUsage());
    return 1;
  }
  if (options.action == HostOptions::Action::Help) {
    std::fputs(HostUsage(), stdout);
    return 0;
  }
  return Run(options);
}
