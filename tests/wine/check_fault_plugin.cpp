// Plug-in libraries with the five exports that scripts/check-win32-dll must
// still refuse (tests/wine/check_win32_dll_test.sh):
//   check_fault_tls.dll     built as mingw-w64 builds any DLL: with the
//                           runtime's TLS directory;
//   check_fault_import.dll  without it (shell/win32/loader_compat.cpp), but
//                           importing GetTickCount64, which neither Windows
//                           95 nor NT 4.0 has;
//   check_fault_nt_import.dll  the same, importing MoveFileExA, which the NT
//                           family has and the 95 family does not implement.
#include <windows.h>

#include "shell/host_interface.h"

extern "C" {

PLUGIN_EXPORT void HOSTAPI SetStartupInfo(const HostStartupInfo* /*info*/) {}
PLUGIN_EXPORT void HOSTAPI SetStartUpInfo(const HostStartupInfo* /*info*/) {}
PLUGIN_EXPORT void HOSTAPI GetPluginInfo(PluginInfo* info) { *info = PluginInfo{}; }

PLUGIN_EXPORT int HOSTAPI OpenPlugin(int /*origin*/, intptr_t /*item*/) {
#if defined(VEZ_UNLISTED_IMPORT)
  return GetTickCount64() == 0 ? 0 : -1;
#elif defined(VEZ_NT_ONLY_IMPORT)
  return MoveFileExA("a", "b", 0) ? 0 : -1;
#else
  return -1;
#endif
}

PLUGIN_EXPORT int HOSTAPI Configure(int /*item*/) { return -1; }

}  // extern "C"
