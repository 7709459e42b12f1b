// Parsing kelhost's command line.
#include "host/command_line.h"

#include <cctype>

#include "host/language_file.h"

const char* HostUsage() {
  return "usage: kelhost [options] [PREFIX:TEXT | --configure | --disk | --info]\n"
         "  (no action)        open the plug-in as from the host's plug-in menu\n"
         "  PREFIX:TEXT        open it from the command line, e.g. ras:Office\n"
         "  --disk             open it from the disk menu\n"
         "  --configure        open its configuration\n"
         "  --info             print what GetPluginInfo reports and the exports found\n"
         "options:\n"
         "  --plugin PATH      the plug-in library (default: vezuzaziz library beside kelhost)\n"
         "  --lang PATH        the language file (default: the library path with .lng)\n"
         "  --language NAME    the language file beside the library that names NAME, else\n"
         "                     the English one (default: $KEL_LANGUAGE; --lang wins)\n"
         "  --script FILE      answer every menu, dialog and message box from FILE\n"
         "  --transcript FILE  write the transcript to FILE (default: standard output)\n"
         "  --viewer-dump      copy each viewed file into the transcript\n";
}

bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error) {
  HostOptions result;
  bool have_action = false;
  auto set_action = [&](HostOptions::Action action, const std::string& what) {
    if (have_action) {
      error = "more than one action: " + what;
      return false;
    }
    have_action = true;
    result.action = action;
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    if (arg == "--plugin") {
      if (!value(result.plugin)) return false;
    } else if (arg == "--lang") {
      if (!value(result.lang)) return false;
    } else if (arg == "--language") {
      if (!value(result.language)) return false;
    } else if (arg == "--script") {
      if (!value(result.script)) return false;
      result.has_script = true;
    } else if (arg == "--transcript") {
      if (!value(result.transcript)) return false;
    } else if (arg == "--viewer-dump") {
      result.viewer_dump = true;
    } else if (arg == "--configure") {
      if (!set_action(HostOptions::Action::Configure, arg)) return false;
    } else if (arg == "--disk") {
      if (!set_action(HostOptions::Action::DiskMenu, arg)) return false;
    } else if (arg == "--info") {
      if (!set_action(HostOptions::Action::Info, arg)) return false;
    } else if (arg == "--help" || arg == "-h") {
      if (!set_action(HostOptions::Action::Help, arg)) return false;
    } else if (arg.size() > 1 && arg[0] == '-' && arg.find(':') == std::string::npos) {
      error = "unknown option " + arg;
      return false;
    } else {
      if (arg.find(':') == std::string::npos) {
        error = "expected PREFIX:TEXT, found " + arg;
        return false;
      }
      if (!set_action(HostOptions::Action::CommandLine, arg)) return false;
      result.command = arg;
    }
  }
  options = std::move(result);
  return true;
}

std::string DefaultLanguagePath(const std::string& plugin_path) {
  const size_t name_start = plugin_path.find_last_of("/\\") == std::string::npos
                                ? 0
                                : plugin_path.find_last_of("/\\") + 1;
  const size_t dot = plugin_path.rfind('.');
  if (dot == std::string::npos || dot <= name_start) return plugin_path + ".lng";
  return plugin_path.substr(0, dot) + ".lng";
}

LanguagePaths ChooseLanguagePaths(const HostOptions& options, const std::string& plugin_path, const char* env_language) {
  auto with_help_extension = [](const std::string& path) { return path.substr(0, path.rfind('.')) + ".hlp"; };
  if (!options.lang.empty()) return {options.lang, with_help_extension(options.lang)};
  const std::string language = !options.language.empty() ? options.language : env_language ? env_language : "";
  const std::string lang = DefaultLanguagePath(plugin_path);
  return {ChooseLanguageFile(lang, language), ChooseLanguageFile(with_help_extension(lang), language)};
}

bool MatchCommandPrefix(const std::string& plugin_prefixes, const std::string& argument, std::string& text) {
  const size_t colon = argument.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string wanted = argument.substr(0, colon);
  for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t start = 0;
  while (start <= plugin_prefixes.size()) {
    size_t end = plugin_prefixes.find(':', start);
    if (end == std::string::npos) end = plugin_prefixes.size();
    std::string prefix = plugin_prefixes.substr(start, end - start);
    for (char& c : prefix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!prefix.empty() && prefix == wanted) {
      text = argument.substr(colon + 1);
      return true;
    }
    start = end + 1;
  }
  return false;
}
