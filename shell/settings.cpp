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

// A value of the wrong type, or one that cannot be read, counts as absent:
// the user keeps a working plug-in, and the entry points that can show a
// box tell them which value is at fault. `convert` is RegistryKey::AsInteger
// or RegistryKey::AsString.
template <typename T, typename Convert>
T Converted(const std::optional<RegistryKey::Value>& value, const char* name, T fallback, Convert convert) {
  if (!value) return fallback;
  try {
    return convert(*value, name);
  } catch (const PluginError& e) {
    g_problems.push_back(e.what());
    return fallback;
  }
}

// minspeed reads as the others do, and a missing one is written as 0.
int32_t ReadMinSpeed(const RegistryKey& key) {
  const std::optional<RegistryKey::Value> minspeed = key.Query("minspeed");
  if (minspeed) return Converted<int32_t>(minspeed, "minspeed", 0, RegistryKey::AsInteger);
  try {
    key.WriteInteger("minspeed", 0);
  } catch (const PluginError& e) {
    g_problems.push_back(e.what());
  }
  return 0;
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

  // One query per value keeps this cheap: GetPluginInfo runs it whenever
  // the host builds its menus.
  auto read_integer = [&](const char* name, int32_t fallback) {
    return Converted<int32_t>(key.Query(name), name, fallback, RegistryKey::AsInteger);
  };
  auto read_string = [&](const char* name, const char* fallback) {
    return Converted<std::string>(key.Query(name), name, fallback, RegistryKey::AsString);
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
  s.minspeed = ReadMinSpeed(key);
}

LONG RegistryKey::Create(HKEY root, const char* path, REGSAM access) {
  Close();
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG rc = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                                  &disposition);
  if (rc == ERROR_SUCCESS) key_.Reset(key);
  return rc;
}

std::optional<RegistryKey::Value> RegistryKey::Query(const char* name) const {
  if (!IsOpen()) return std::nullopt;
  Value value;
  value.data.resize(64);
  DWORD size = static_cast<DWORD>(value.data.size());
  LONG rc = RegQueryValueExA(Handle(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.data.data()), &size);
  if (rc == ERROR_MORE_DATA) {
    value.data.resize(size);
    rc = RegQueryValueExA(Handle(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.data.data()), &size);
  }
  if (rc != ERROR_SUCCESS) return std::nullopt;
  value.data.resize(std::min<size_t>(size, value.data.size()));
  return value;
}

int32_t RegistryKey::AsInteger(const Value& value, const char* name) {
  if (value.type != REG_DWORD) throw PluginError(Named("Invalid data type for '%s'", name));
  if (value.data.size() > 4) throw PluginError(Named("Failed to get data for '%s'", name));
  BYTE data[4] = {0, 0, 0, 0};
  std::memcpy(data, value.data.data(), value.data.size());
  uint32_t bits = 0;
  std::memcpy(&bits, data, sizeof bits);
  return static_cast<int32_t>(bits);
}

std::string RegistryKey::AsString(const Value& value, const char* name) {
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) {
    throw PluginError(Named("Invalid data type for '%s'", name));
  }
  const size_t zero = value.data.find('\0');
  return zero == std::string::npos ? value.data : value.data.substr(0, zero);
}

void RegistryKey::WriteInteger(const char* name, int32_t value) const {
  const uint32_t bits = static_cast<uint32_t>(value);
  BYTE data[4];
  std::memcpy(data, &bits, sizeof data);
  if (!IsOpen() || RegSetValueExA(Handle(), name, 0, REG_DWORD, data, sizeof data) != ERROR_SUCCESS) {
    throw PluginError(Named("Failed to set data for '%s'", name));
  }
}

void RegistryKey::WriteString(const char* name, const std::string& value) const {
  if (!IsOpen() || RegSetValueExA(Handle(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS) {
    throw PluginError(Named("Failed to set data for '%s'", name));
  }
}
