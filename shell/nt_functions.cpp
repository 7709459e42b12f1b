// Run-time lookup of the NT family's functions.
#include "shell/nt_functions.h"

FARPROC FindNtFunction(const char* module, const char* name) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return nullptr;
  // Both DLLs are loaded with the plug-in (it imports other functions of
  // theirs), so the handle needs no loading and no freeing.
  const HMODULE library = GetModuleHandleA(module);
  return library == nullptr ? nullptr : GetProcAddress(library, name);
}
