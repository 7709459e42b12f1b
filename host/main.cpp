// kelhost: a small Kel host that loads the plug-in library, lends it the
// host operations and opens it the way the command line asks. Exit status:
// 0 when all went well, 1 when the host could not run (options, files, the
// library or a needed export), 3 when the transcript holds error lines.
#include <cstdio>
#include <cstdlib>
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
#include "host/text_file.h"
#include "host/transcript.h"
#ifdef KELHOST_HAS_TERMINAL_UI
#include "host/terminal/oem_codec.h"
#include "host/terminal/terminal_ui.h"
#endif

namespace {

int Fail(const std::string& text) {
  std::fprintf(stderr, "kelhost: %s\n", text.c_str());
  return 1;
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

int RunAction(const HostOptions& options, const Exports& exports, const PluginInfo& info, HostSession& session);
#ifdef KELHOST_HAS_TERMINAL_UI
void RunHostMenu(TerminalUi& ui, const Exports& exports, const PluginInfo& info, HostSession& session);
#endif

int Run(const HostOptions& options) {
  SetStdoutBinary();
  // The library, kept as given (the plug-in directory comes from this path).
  std::string plugin_path = options.plugin;
  if (plugin_path.empty()) plugin_path = ExecutableDirectory() + DefaultPluginFileName();
  plugin_path = AbsolutePath(plugin_path);
  const LanguagePaths paths = ChooseLanguagePaths(options, plugin_path, std::getenv("KEL_LANGUAGE"));
  const std::string& lang_path = paths.lang;

  LanguageFile language;
  std::string error;
  if (!language.Load(lang_path, error)) return Fail("language file: " + error + " (name another with --lang)");

  std::vector<ScriptAnswer> answers;
  if (options.has_script) {
    std::string text;
    if (!ReadTextFile(options.script, text)) return Fail("cannot read the script " + options.script);
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
    tui.help_path = paths.help;
    tui.code_page = "CP" + std::to_string(language.CodePage());
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

#ifdef KELHOST_HAS_TERMINAL_UI
  // At a terminal the host stays open after the action, as a file manager
  // does: its own menu opens the plug-in again, its configuration, or a
  // command line.
  if (terminal) {
    // The command line was typed in the terminal, in UTF-8; the plug-in
    // takes it as OEM text, as from a console host's command line.
    HostOptions typed = options;
    typed.command = terminal->OemText(options.command);
    RunAction(typed, exports, info, session);
    RunHostMenu(*terminal, exports, info, session);
    return 0;
  }
#endif
  if (const int failed = RunAction(options, exports, info, session); failed != 0) return failed;
  if (ui == &scripted) scripted.ReportUnusedAnswers();
  return transcript.ErrorCount() == 0 ? 0 : 3;
}

// Runs the one action the command line asks for; non-zero when it cannot.
int RunAction(const HostOptions& options, const Exports& exports, const PluginInfo& info, HostSession& session) {
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
  return 0;
}

#ifdef KELHOST_HAS_TERMINAL_UI
// The console title in the host's OEM code page, for its menu: on the 95
// family the plug-in gives the title in the ANSI code page.
std::string TitleAsOem(const TerminalUi& terminal) {
  const ConsoleTitleText title = ConsoleTitle();
  OemCodec codec;
  std::string error;
  if (title.code_page == 0 || !codec.Open("CP" + std::to_string(title.code_page), error)) return title.text;
  return terminal.OemText(codec.ToUtf8(title.text));
}

// The host's own menu at a terminal, until the user quits with Esc.
void RunHostMenu(TerminalUi& ui, const Exports& exports, const PluginInfo& info, HostSession& session) {
  const std::string caption =
      info.PluginMenuStringsNumber > 0 && info.PluginMenuStrings && info.PluginMenuStrings[0] ? info.PluginMenuStrings[0]
                                                                                             : "plug-in";
  const std::string prefix = info.CommandPrefix ? info.CommandPrefix : "";
  const std::vector<std::string> texts = {"&Open " + caption, "&Configure " + caption,
                                          "Co&mmand line (" + prefix + ":...)", "&Quit"};
  for (;;) {
    // The actions, then a line with the console title: the plug-in puts its
    // last log line there, which a terminal shows only in a title bar.
    std::vector<HostMenuItem> rows(texts.size() + 2);
    for (size_t i = 0; i < texts.size(); ++i) std::snprintf(rows[i].Text, sizeof rows[i].Text, "%s", texts[i].c_str());
    rows[texts.size()].Separator = 1;
    std::string title;
    for (const char c : TitleAsOem(ui)) title += c == '&' ? std::string("&&") : std::string(1, c);
    std::snprintf(rows.back().Text, sizeof rows.back().Text, "Console title: %s",
                  title.empty() ? "(none yet)" : title.c_str());
    MenuCall call;
    call.title = "kelhost";
    call.bottom = "Esc quits";
    call.rows = rows.data();
    call.row_count = static_cast<int>(rows.size());
    int break_index = -1;
    const int chosen = ui.Menu(call, break_index);
    if (chosen < 0 || chosen == 3) return;
    if (chosen == 0 && exports.open_plugin) session.CallOpenPlugin(exports.open_plugin, 0, nullptr, 0);
    if (chosen == 1 && exports.configure) session.CallConfigure(exports.configure, 0);
    if (chosen == 2 && exports.open_plugin) {
      HostDialogItem items[4] = {};
      items[0].Type = DI_DOUBLEBOX;
      items[0].X2 = 50;
      items[0].Y2 = 4;
      std::snprintf(items[0].Data, sizeof items[0].Data, "Command line");
      items[1].Type = DI_TEXT;
      items[1].X1 = 2;
      items[1].Y1 = 2;
      std::snprintf(items[1].Data, sizeof items[1].Data, "%s:", prefix.c_str());
      items[2].Type = DI_EDIT;
      items[2].X1 = static_cast<int>(prefix.size()) + 3;
      items[2].Y1 = 2;
      items[2].X2 = 47;
      items[2].Focus = 1;
      items[3].Type = DI_BUTTON;
      items[3].X1 = 22;
      items[3].Y1 = 3;
      items[3].DefaultButton = 1;
      std::snprintf(items[3].Data, sizeof items[3].Data, "Run");
      DialogCall dialog;
      dialog.x2 = 50;
      dialog.y2 = 4;
      if (ui.Dialog(dialog, items, 4) < 0) continue;
      const std::string text = items[2].Data;
      session.CallOpenPlugin(exports.open_plugin, 4, &text, 0);
    }
  }
}
#endif

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
