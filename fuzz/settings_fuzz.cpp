// Arbitrary bytes as the world's registry.reg: reading the settings and
// filling the host's PluginInfo (GetPluginInfo's path) must take anything,
// leave a sound record, and never write any value but a missing minspeed.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "shell/host_calls.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "winapi/reg_file.h"
#include "winapi/standin_control.h"
#include "winapi/world.h"

namespace {

std::filesystem::path g_root;

void RemoveRoot() {
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
}

const char* HOSTAPI NoText(int, int) { return "caption"; }

void SetUpOnce() {
  if (!g_root.empty()) return;
  g_root = std::filesystem::temp_directory_path() / ("vez_settings_fuzz_" + std::to_string(::getpid()));
  std::atexit(RemoveRoot);
  std::filesystem::create_directories(g_root / "world");
  std::filesystem::create_directories(g_root / "plugin");
  setenv("WINAPI_WORLD", (g_root / "world").c_str(), 1);
  static HostStartupInfo info{};
  const std::string module = world::WindowsPath((g_root / "plugin" / "vezuzaziz.dll").string());
  module.copy(info.ModulePath, sizeof info.ModulePath - 1);
  info.GetMessageText = NoText;
  SetHostRecord(&info);
  SetModulePathFromField(info.ModulePath);
}

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  const std::filesystem::path reg = g_root / "world" / "registry.reg";
  std::ofstream(reg, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  StandinReloadWorld();
  Settings() = PluginSettings{};

  const standin::RegTree before = standin::ParseRegText(ReadAll(reg));
  ReadSettings();
  TakeSettingsProblems();
  PluginInfo info{};
  FillPluginInfo(&info);
  if (info.StructSize != static_cast<int>(sizeof(PluginInfo)) || info.CommandPrefix == nullptr ||
      info.PluginMenuStringsNumber != 1 || info.PluginMenuStrings == nullptr)
    std::abort();
  if ((info.DiskMenuStringsNumber != 0) != Settings().show_disk) std::abort();

  // Only minspeed may have been added; every other value reads as before.
  const standin::RegTree after = standin::ParseRegText(ReadAll(reg));
  for (const standin::RegKey& key : before.keys) {
    const standin::RegKey* now = after.Find(key.path);
    if (now == nullptr) std::abort();
    const size_t n = key.values.size();
    if (now->values.size() != n) {
      const standin::RegValue& added = now->values.back();
      if (now->values.size() != n + 1 || added.type != REG_DWORD || added.data != std::vector<uint8_t>(4, 0))
        std::abort();
    }
    for (size_t i = 0; i < n; ++i) {
      const standin::RegValue& a = key.values[i];
      const standin::RegValue& b = now->values[i];
      if (a.name != b.name || a.type != b.type || a.data != b.data) std::abort();
    }
  }
  return 0;
}
