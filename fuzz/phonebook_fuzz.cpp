// Arbitrary bytes as the system phone book (rasphone.pbk): listing its
// entries, reading their saved credentials and opening the phone-book menu
// (answered Esc) must take anything.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "dial/ras_api.h"
#include "shell/host_calls.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "tools/phonebook_menu.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace {

std::filesystem::path g_root;

void RemoveRoot() {
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
}

// A host that closes every menu and box with Esc.
int HOSTAPI EscMenu(int, int, int, int, unsigned, const char*, const char*, const char*, const int*, int* code,
                    const HostMenuItem*, int) {
  if (code) *code = -1;
  return -1;
}
int HOSTAPI EscMessage(int, unsigned, const char*, const char* const*, int, int) { return -1; }
const char* HOSTAPI NoText(int, int) { return ""; }

void SetUpOnce() {
  if (!g_root.empty()) return;
  g_root = std::filesystem::temp_directory_path() / ("vez_pbk_fuzz_" + std::to_string(::getpid()));
  std::atexit(RemoveRoot);
  std::filesystem::create_directories(g_root / "world");
  std::filesystem::create_directories(g_root / "plugin");
  setenv("WINAPI_WORLD", (g_root / "world").c_str(), 1);
  StandinReloadWorld();
  static HostStartupInfo info{};
  const std::string module = world::WindowsPath((g_root / "plugin" / "vezuzaziz.dll").string());
  module.copy(info.ModulePath, sizeof info.ModulePath - 1);
  info.Menu = EscMenu;
  info.Message = EscMessage;
  info.GetMessageText = NoText;
  SetHostRecord(&info);
  SetModulePathFromField(info.ModulePath);
  Settings().logfilename = "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  std::ofstream(g_root / "world" / "rasphone.pbk", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  RASENTRYNAMEA names[64] = {};
  names[0].dwSize = sizeof(RASENTRYNAMEA);
  DWORD bytes = sizeof names;
  DWORD count = 0;
  const DWORD rc = RasEnumEntriesA(nullptr, nullptr, names, &bytes, &count);
  if (rc == 0) {
    if (count > 64) std::abort();
    for (DWORD i = 0; i < count; ++i) {
      std::string user, password;
      GetSavedUserName(names[i].szEntryName, user);
      GetSavedPassword(names[i].szEntryName, password);
    }
  }
  SystemPhonebookMenu();
  return 0;
}
