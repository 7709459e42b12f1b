// The five functions the Kel host calls. Each one keeps every failure inside
// the plug-in: whatever goes wrong ends the action with a warning box.
#include "shell/config_dialog.h"
#include "shell/host_calls.h"
#include "shell/host_interface.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "shell/startup.h"

extern "C" {

// Called once, right after the host loads the library: keeps a copy of the
// host's record. Nothing else.
PLUGIN_EXPORT void HOSTAPI SetStartupInfo(const HostStartupInfo* info) {
  try {
    SetHostRecord(info);
  } catch (...) {
  }
}

// A second export of the same shape: re-reads the settings and takes the
// module path from the record, without copying it.
PLUGIN_EXPORT void HOSTAPI SetStartUpInfo(const HostStartupInfo* info) {
  RunGuarded([&] {
    ReadSettings();
    if (info) SetModulePathFromField(info->ModulePath);
  });
}

// Called whenever the host builds its menus; shows no box, since the host
// is not in a state to show one.
PLUGIN_EXPORT void HOSTAPI GetPluginInfo(PluginInfo* info) {
  if (info == nullptr) return;
  try {
    FillPluginInfo(info);
  } catch (...) {
    // The record could not be filled: the host gets an empty one of the
    // right size, with no menu strings and no command prefix.
    try {
      PluginInfo empty{};
      *info = empty;
      info->StructSize = sizeof(PluginInfo);
    } catch (...) {
    }
  }
}

// Opens the plug-in: start-up, then one action. No panel is ever opened.
PLUGIN_EXPORT int HOSTAPI OpenPlugin(int origin, intptr_t item) {
  RunGuarded([&] { RunOpenPlugin(origin, origin == OPEN_COMMANDLINE ? reinterpret_cast<const char*>(item) : nullptr); });
  return -1;
}

// The configuration dialog.
PLUGIN_EXPORT int HOSTAPI Configure(int /*item_number*/) {
  RunGuarded([] { RunConfigDialog(); });
  return -1;
}

}  // extern "C"
