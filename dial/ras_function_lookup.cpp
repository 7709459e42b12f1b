// Run-time lookup of remote access functions.
#include "dial/ras_function_lookup.h"

#include "shell/plugin_error.h"

namespace {

// The library chosen by the first successful lookup, and whether names are
// looked up there with the ANSI suffix "A".
HMODULE g_library = nullptr;
bool g_ansi_suffix = false;

FARPROC Find(HMODULE library, const std::string& name) { return GetProcAddress(library, name.c_str()); }

}  // namespace

FARPROC RasFunctionLookup(const std::string& name) {
  if (g_library == nullptr) {
    HMODULE rasapi = LoadLibraryA("rasapi32.dll");
    if (rasapi == nullptr) throw PluginError("Error opening rasapi.dll");
    if (FARPROC found = Find(rasapi, name + "A")) {
      g_library = rasapi;
      g_ansi_suffix = true;
      return found;
    }
    HMODULE rnaph = LoadLibraryA("rnaph.dll");
    if (rnaph == nullptr) {
      FreeLibrary(rasapi);
      throw PluginError("Error opening rnaph.dll");
    }
    FreeLibrary(rasapi);
    g_library = rnaph;
    g_ansi_suffix = false;
  }
  FARPROC found = Find(g_library, g_ansi_suffix ? name + "A" : name);
  if (found == nullptr) throw PluginError("Function " + name + " not found!");
  return found;
}

void ResetRasFunctionLookup() {
  if (g_library != nullptr) FreeLibrary(g_library);
  g_library = nullptr;
  g_ansi_suffix = false;
}
