// The ten settings, held module-wide and re-read from the registry at every
// entry point but SetStartupInfo.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shell/platform.h"
#include "shell/scoped_handle.h"

// "Software\Kel\Plugins\VezUzaziz\" under HKEY_CURRENT_USER, trailing
// backslash and all.
extern const char kSettingsKey[];

struct PluginSettings {
  std::string dial_prefix;  // "p", "t", or empty before any 0 or 1 was read
  bool show_progress = false;
  bool show_disk = false;
  bool daily_log = false;
  bool i629 = false;
  bool debug = false;
  std::string logfilename;
  std::string startupfile;
  std::string phonebook;
  int32_t minspeed = 0;
};

// The module-wide settings (load-time state: empty texts, flags off, 0).
PluginSettings& Settings();

// Reads all ten values. A value of the wrong registry type, or one that
// cannot be read, counts as absent and takes its default; its problem is
// kept for TakeSettingsProblems. A failure to write the default minspeed is
// kept the same way.
void ReadSettings();
// The problems of the last ReadSettings ("Invalid data type for 'debug'"),
// handed over once.
std::vector<std::string> TakeSettingsProblems();

// A registry key that closes itself.
class RegistryKey {
 public:
  // RegCreateKeyExA with the given access; returns the error code.
  LONG Create(HKEY root, const char* path, REGSAM access);
  bool IsOpen() const { return key_.Valid(); }
  HKEY Handle() const { return key_.Get(); }
  void Close() { key_.Close(); }

  // A value's type and bytes, read in one query; nothing when the value
  // does not exist or the query fails.
  struct Value {
    DWORD type = REG_NONE;
    std::string data;
  };
  std::optional<Value> Query(const char* name) const;
  // The value as an integer (REG_DWORD of at most 4 bytes) or as a string
  // (REG_SZ or REG_EXPAND_SZ, cut at its first zero). These raise PluginError
  // with "Invalid data type for '%s'" or "Failed to get data for '%s'".
  static int32_t AsInteger(const Value& value, const char* name);
  static std::string AsString(const Value& value, const char* name);
  // These raise PluginError with "Failed to set data for '%s'".
  void WriteInteger(const char* name, int32_t value) const;
  void WriteString(const char* name, const std::string& value) const;

 private:
  RegistryHandle key_;
};
