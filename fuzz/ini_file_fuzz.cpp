// Arbitrary bytes as an INI file of the world (ras.ini, services.ini,
// system.ini, connections.ini): the reader takes anything, every value it
// lists can be looked up, and its own text reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "winapi/world.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const world::IniFile ini = world::IniFile::Parse(text);
  const std::string written = ini.Text();
  if (world::IniFile::Parse(written).Text() != written) std::abort();
  for (const auto& [section, pairs] : ini.Sections()) {
    if (!ini.HasSection(section)) std::abort();
    for (const auto& [key, value] : pairs) {
      ini.Get(section, key);
      ini.GetInt(section, key, 0);
    }
  }
  // The scenario keys the simulated service reads, looked up in the first
  // section as it would for a number of that name.
  if (!ini.Sections().empty()) {
    const std::string& first = ini.Sections().front().first;
    for (const char* key : {"states", "pause_ms", "end", "speed", "error", "error_state", "esc_at_state", "refuse",
                            "silent", "callback_after_hangup", "error_after_connected"}) {
      ini.GetInt(first, key, 0);
    }
  }
  return 0;
}
