// The ten settings and the registry key that holds them.
#include "shell/settings.h"

#include <algorithm>
#include <cstring>

#include "shell/plugin_error.h"

const char kSettingsKey[] = "Software\\Kel\\Plugins\\VezUzaziz\\";

namespace {

PluginSettings g_settings;
std::vector<std::string> g_problems;

std::string Named(const char* pattern, const char* name) {
  std::string text = pattern;
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, name);
  return text;
}

// Applies a 0/1 value to a flag; any other number leaves it as it stood.
void ApplyFlag(bool& flag, int32_t value) {
  if (value == 0) flag = false;
  if (value == 1) flag = true;
}

}  // namespace

PluginSettings& Settings() { return g_settings; }

std::vector<std::string> TakeSettingsProblems() {
  std::vector<std::string> out;
  out.swap(g_problems);
  return out;
}

void ReadSettings() {
  g_problems.clear();
  RegistryKey key;
  key.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_ALL_ACCESS);

  // A value of the wrong type, or one that cannot be read, counts as absent:
  // the user keeps a working plug-in, and the entry points that can show a
  // box tell them which value is at fault.
  auto read_integer = [&](const char* name, int32_t fallback) -> int32_t {
    if (!key.ValueExists(name)) return fallback;
    try {
      return key.ReadInteger(name);
    } catch (const PluginError& e) {
      g_problems.push_back(e.what());
      return fallback;
    }
  };
  auto read_string = [&](const char* name, const char* fallback) -> std::string {
    if (!key.ValueExists(name)) return fallback;
    try {
      return key.ReadString(name);
    } catch (const PluginError& e) {
      g_problems.push_back(e.what());
      return fallback;
    }
  };

  PluginSettings& s = g_settings;
  const int32_t prefix = read_integer("dial_prefix", 0);
  if (prefix == 0) s.dial_prefix = "p";
  if (prefix == 1) s.dial_prefix = "t";
  ApplyFlag(s.show_progress, read_integer("show_progress", 1));
  ApplyFlag(s.show_disk, read_integer("show_disk", 1));
  ApplyFlag(s.daily_log, read_integer("daily_log", 1));
  ApplyFlag(s.i629, read_integer("i629", 1));
  ApplyFlag(s.debug, read_integer("debug", 0));
  s.logfilename = read_string("logfilename", "vezuzaziz.log");
  s.startupfile = read_string("startupfile", "startup.lst");
  s.phonebook = read_string("phonebook", "");
  if (key.ValueExists("minspeed")) {
    s.minspeed = read_integer("minspeed", 0);
  } else {
    s.minspeed = 0;
    try {
      key.WriteInteger("minspeed", 0);
    } catch (const PluginError& e) {
      g_problems.push_back(e.what());
    }
  }
}

RegistryKey::~RegistryKey() { Close(); }

void RegistryKey::Close() {
  if (key_ != nullptr) {
    RegCloseKey(key_);
    key_ = nullptr;
  }
}

LONG RegistryKey::Create(HKEY root, const char* path, REGSAM access) {
  Close();
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG rc = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                                  &disposition);
  if (rc == ERROR_SUCCESS) key_ = key;
  return rc;
}

LONG RegistryKey::Open(HKEY root, const char* path, REGSAM access) {
  Close();
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExA(root, path, 0, access, &key);
  if (rc == ERROR_SUCCESS) key_ = key;
  return rc;
}

bool RegistryKey::ValueExists(const char* name) const {
  if (key_ == nullptr) return false;
  DWORD type = 0;
  DWORD size = 0;
  return RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

int32_t RegistryKey::ReadInteger(const char* name) const {
  DWORD type = 0;
  DWORD size = 0;
  if (key_ == nullptr || RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    throw PluginError(Named("Failed to get data for '%s'", name));
  }
  if (type != REG_DWORD) throw PluginError(Named("Invalid data type for '%s'", name));
  BYTE data[4] = {0, 0, 0, 0};
  size = sizeof data;
  if (RegQueryValueExA(key_, name, nullptr, &type, data, &size) != ERROR_SUCCESS) {
    throw PluginError(Named("Failed to get data for '%s'", name));
  }
  uint32_t value = 0;
  std::memcpy(&value, data, sizeof value);
  return static_cast<int32_t>(value);
}

std::string RegistryKey::ReadString(const char* name) const {
  DWORD type = 0;
  DWORD size = 0;
  if (key_ == nullptr || RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    throw PluginError(Named("Failed to get data for '%s'", name));
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw PluginError(Named("Invalid data type for '%s'", name));
  std::string data(size, '\0');
  if (size > 0 &&
      RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
    throw PluginError(Named("Failed to get data for '%s'", name));
  }
  data.resize(std::min<size_t>(size, data.size()));
  const size_t zero = data.find('\0');
  if (zero != std::string::npos) data.resize(zero);
  return data;
}

void RegistryKey::WriteInteger(const char* name, int32_t value) const {
  const uint32_t bits = static_cast<uint32_t>(value);
  BYTE data[4];
  std::memcpy(data, &bits, sizeof data);
  if (key_ == nullptr || RegSetValueExA(key_, name, 0, REG_DWORD, data, sizeof data) != ERROR_SUCCESS) {
    throw PluginError(Named("Failed to set data for '%s'", name));
  }
}

void RegistryKey::WriteString(const char* name, const std::string& value) const {
  if (key_ == nullptr || RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                        static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS) {
    throw PluginError(Named("Failed to set data for '%s'", name));
  }
}
