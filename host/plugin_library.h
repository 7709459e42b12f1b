// Everything in kelhost that differs between Linux and Windows: loading the
// plug-in library, its module path, and a few facts about the process.
#pragma once

#include <string>

class PluginLibrary {
 public:
  PluginLibrary() = default;
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  // Unloads the library, if loaded.
  ~PluginLibrary();

  // Loads the library at `path` (a path of this machine, kept as given: a
  // symbolic link is not resolved). On failure returns false with `error`.
  bool Load(const std::string& path, std::string& error);
  // The address of an exported function, or null.
  void* Symbol(const char* name) const;
  // The library's full file name as a Windows path: on Windows the module's
  // own file name, elsewhere "Z:" + the absolute path with "/" turned into
  // "\" (the form a Windows program sees for a path of the machine's root).
  const std::string& ModulePath() const { return module_path_; }

 private:
  void* handle_ = nullptr;
  std::string module_path_;
};

// The directory of the kelhost executable, with a trailing separator.
std::string ExecutableDirectory();
// The plug-in library's file name beside kelhost: "vezuzaziz.so" or
// "vezuzaziz.dll".
std::string DefaultPluginFileName();
// A path of this machine made absolute against the current directory,
// lexically (symbolic links are not resolved).
std::string AbsolutePath(const std::string& path);
// A Windows path as a path of this machine ("Z:\a\b" is "/a/b" on Linux;
// unchanged on Windows).
std::string LocalPath(const std::string& windows_path);
// Whether standard output is a terminal.
bool StdoutIsTerminal();
// Writes standard output byte for byte (no CR added on Windows), so that a
// transcript there is the same as in a file.
void SetStdoutBinary();
// The console window's title as the plug-in last set it, and the code page
// of its bytes (0: the host's OEM code page). On Windows the console's own;
// on Linux, where the plug-in's stand-in console shows it as the terminal's
// title (which a program cannot read back), the last title that the
// stand-in's world journaled ("title TEXT" in journal.log of $WINAPI_WORLD),
// in the code page the plug-in gave it in: the world's ANSI one on the 95
// family (system.ini platform_id=1), else its OEM one. Empty when none was
// set.
struct ConsoleTitleText {
  std::string text;
  int code_page = 0;
};
ConsoleTitleText ConsoleTitle();
// A number that tells the calling thread from the others.
unsigned long CurrentThreadNumber();
