// Connection details and hang-up.
#include "dial/connection.h"

#include <cstring>
#include <vector>

#include "shell/host_calls.h"
#include "shell/messages.h"
#include "shell/scoped_handle.h"
#include "tools/event_log.h"

namespace {

// The names of the key's values in the order the registry lists them.
std::vector<std::string> ValueNames(HKEY key) {
  std::vector<std::string> names;
  std::vector<char> name(256);
  for (DWORD index = 0;;) {
    DWORD length = static_cast<DWORD>(name.size());
    const LSTATUS rc = RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA && name.size() < 32768) {
      name.resize(name.size() * 4);
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name.data(), length);
    ++index;
  }
  return names;
}

int32_t ReadConnectSpeed() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_DYN_DATA, "PerfStats\\StatData", 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  const RegistryHandle closer(key);

  const std::vector<std::string> names = ValueNames(key);
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (it->find("ConnectSpeed") == std::string::npos) continue;
    BYTE data[4] = {0, 0, 0, 0};
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, it->c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS) return 0;
    if (type != REG_BINARY || size > sizeof data) return 0;
    // Bytes the value does not have stay 0: a shorter counter is a smaller number.
    const uint32_t speed = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                           static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    return static_cast<int32_t>(speed);
  }
  return 0;
}

// The speed the service keeps among the connection's statistics; 0 where
// the system has no such call or it fails.
int32_t StatisticsSpeed(HRASCONN connection) {
  HMODULE rasapi = LoadLibraryA("rasapi32.dll");
  if (rasapi == nullptr) return 0;
  const auto statistics = reinterpret_cast<RASGETCONNECTIONSTATISTICSFUNC>(
      reinterpret_cast<void (*)()>(GetProcAddress(rasapi, "RasGetConnectionStatistics")));
  RAS_STATS stats;
  std::memset(&stats, 0, sizeof stats);
  stats.dwSize = sizeof stats;
  const bool answered = statistics != nullptr && statistics(connection, &stats) == 0;
  FreeLibrary(rasapi);
  return answered ? static_cast<int32_t>(stats.dwBps) : 0;
}

// The connection's PPP IP projection; a zeroed record when the service
// cannot give it.
RASPPPIPA Projection(HRASCONN connection) {
  RASPPPIPA projection;
  std::memset(&projection, 0, sizeof projection);
  projection.dwSize = sizeof projection;
  DWORD size = sizeof projection;
  if (RasGetProjectionInfoA(connection, RASP_PppIp, &projection, &size) != 0) {
    std::memset(&projection, 0, sizeof projection);
  }
  return projection;
}

// A zero-terminated text field read up to its zero, never past the field.
template <size_t N>
std::string FieldText(const CHAR (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

}  // namespace

int32_t ConnectionSpeed(HRASCONN connection) {
  try {
    const int32_t published = ReadConnectSpeed();
    return published != 0 ? published : StatisticsSpeed(connection);
  } catch (...) {
    return 0;
  }
}

std::string LocalIpAddress(HRASCONN connection) { return FieldText(Projection(connection).szIpAddress); }

std::string RemoteIpAddress(HRASCONN connection) { return FieldText(Projection(connection).szServerIpAddress); }

void HangUpAll() {
  std::vector<RASCONNA> connections;
  if (EnumerateRasList(RasEnumConnectionsA, connections) != 0) return;
  for (const RASCONNA& connection : connections) {
    RasHangUpA(connection.hrasconn);
    WriteLogLine(Msg(MHungUp));
  }
}
