// kelhost's command line:
//   kelhost [--plugin PATH] [--lang PATH | --language NAME] [--script FILE] [--transcript FILE]
//           [--viewer-dump] [PREFIX:TEXT | --configure | --disk | --info]
#pragma once

#include <string>

struct HostOptions {
  enum class Action {
    PluginMenu,   // no action argument: OpenPlugin(0, 0)
    CommandLine,  // PREFIX:TEXT: OpenPlugin(4, TEXT)
    DiskMenu,     // --disk: OpenPlugin(1, 0)
    Configure,    // --configure: Configure(0)
    Info,         // --info: print the PluginInfo and the exports found
    Help,         // --help
  };
  Action action = Action::PluginMenu;
  std::string command;  // CommandLine: the whole argument, PREFIX:TEXT
  std::string plugin;   // --plugin; empty: the default beside kelhost
  std::string lang;     // --lang; empty: the plug-in path with ".lng"
  std::string language; // --language; empty: KEL_LANGUAGE, else none chosen
  std::string script;   // --script; empty: none
  bool has_script = false;
  std::string transcript;  // --transcript; empty: standard output
  bool viewer_dump = false;
};

// The usage text.
const char* HostUsage();

// Parses argv[1..argc-1]. On an error returns false with `error` set.
bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error);

// The language file that belongs to a plug-in path: its extension (after
// the last "." of the file name) replaced by ".lng", or ".lng" appended.
std::string DefaultLanguagePath(const std::string& plugin_path);

// The language file kelhost loads and the help file its terminal UI shows.
// --lang names the language file, the help file beside it with ".hlp".
// Else the language chosen with --language, or without it `env_language`
// (KEL_LANGUAGE; null or empty: none), picks each of the two among the files
// beside the library (ChooseLanguageFile: that language, else English, else
// the default path).
struct LanguagePaths {
  std::string lang;
  std::string help;
};
LanguagePaths ChooseLanguagePaths(const HostOptions& options, const std::string& plugin_path, const char* env_language);

// Splits a command-line argument PREFIX:TEXT against the plug-in's command
// prefix, which may list several prefixes separated by ":". The prefix is
// compared without regard to ASCII case; TEXT is the rest after the first
// ":", unchanged. Returns false when the argument has no ":" or its prefix
// is not one of the plug-in's.
bool MatchCommandPrefix(const std::string& plugin_prefixes, const std::string& argument, std::string& text);
