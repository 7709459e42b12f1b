// A plug-in library whose OpenPlugin is built as cdecl instead of stdcall:
// everything else as the host expects. kelhost's stack check must catch it
// (tests/wine/stack_check_test.cpp).
#include <windows.h>

#include "shell/host_interface.h"

namespace {
const char* const kMenu[] = {"Cdecl plug-in"};
}

extern "C" {

PLUGIN_EXPORT void HOSTAPI SetStartupInfo(const HostStartupInfo* /*info*/) {}

PLUGIN_EXPORT void HOSTAPI GetPluginInfo(PluginInfo* info) {
  *info = PluginInfo{};
  info->StructSize = sizeof(PluginInfo);
  info->PluginMenuStrings = kMenu;
  info->PluginMenuStringsNumber = 1;
  info->PluginConfigStrings = kMenu;
  info->PluginConfigStringsNumber = 1;
  info->CommandPrefix = "ras";
}

// The fault under test: the caller's two arguments stay on the stack.
PLUGIN_EXPORT int __cdecl OpenPlugin(int /*origin*/, intptr_t /*item*/) { return -1; }

PLUGIN_EXPORT int HOSTAPI Configure(int /*item*/) { return -1; }

}  // extern "C"
