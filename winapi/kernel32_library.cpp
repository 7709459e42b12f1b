// kernel32: LoadLibraryA, GetModuleHandleA, GetProcAddress and FreeLibrary
// over pseudo modules whose exports are the functions other stand-in files
// register with StandinRegisterProc. system.ini [libraries] decides which
// modules exist and which of their exports are missing.
#include <map>
#include <mutex>

#include "winapi/standin_control.h"
#include "winapi/standin_internal.h"
#include "winapi/windows.h"

namespace standin {
namespace {

struct Module {
  const char* name;         // base name without ".dll", lower case
  bool present_by_default;  // whether it exists when [libraries] does not say
  bool loaded_with_process;  // loaded from the start, as the plug-in's imports are
};

// rasapi32 is there on every system; rnaph only on the 95 family, so a test
// that wants it says rnaph=present. The system DLLs that every process has
// loaded are loaded from the start: GetModuleHandleA finds them and
// GetProcAddress answers for them without a LoadLibraryA.
constexpr Module kModules[] = {
    {"rasapi32", true, false},
    {"rnaph", false, false},
    {"kernel32", true, true},
    {"advapi32", true, true},
    {"user32", true, true},
    {"winmm", true, true},
};
constexpr size_t kModuleCount = sizeof(kModules) / sizeof(kModules[0]);
constexpr uintptr_t kModuleBase = 0x70000000;

std::mutex g_mutex;
int g_load_count[kModuleCount] = {};

std::map<std::pair<std::string, std::string>, FARPROC>& Procs() {
  static auto* procs = new std::map<std::pair<std::string, std::string>, FARPROC>();
  return *procs;
}

// "C:\WINDOWS\SYSTEM\RASAPI32.DLL" -> "rasapi32".
std::string BaseName(const std::string& file) {
  std::string name = file;
  size_t cut = name.find_last_of("\\/");
  if (cut != std::string::npos) name = name.substr(cut + 1);
  name = LowerAscii(name);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0) name.resize(name.size() - 4);
  return name;
}

int ModuleIndex(const std::string& base) {
  for (size_t i = 0; i < kModuleCount; ++i) {
    if (base == kModules[i].name) return static_cast<int>(i);
  }
  return -1;
}

HMODULE HandleOf(int index) {
  return reinterpret_cast<HMODULE>(kModuleBase + static_cast<uintptr_t>(index) * 0x10000);
}

// Whether the module is loaded now; g_mutex held.
bool IsLoaded(int index) { return kModules[index].loaded_with_process || g_load_count[index] > 0; }

int IndexOfHandle(HMODULE h) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v < kModuleBase || (v - kModuleBase) % 0x10000 != 0) return -1;
  uintptr_t index = (v - kModuleBase) / 0x10000;
  return index < kModuleCount ? static_cast<int>(index) : -1;
}

}  // namespace
}  // namespace standin

using namespace standin;

void StandinRegisterProc(const char* module, const char* name, FARPROC fn) {
  if (!module || !name) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  Procs()[{BaseName(module), name}] = fn;
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string base = BaseName(lpLibFileName);
  int index = ModuleIndex(base);
  if (index < 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::string setting = LowerAscii(SystemIni()->Get("libraries", base, ""));
  bool present = setting.empty() ? kModules[index].present_by_default : setting != "missing";
  if (!present) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  ++g_load_count[index];
  return HandleOf(index);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  // The program's own module (a null name) is not modelled.
  const int index = lpModuleName ? ModuleIndex(BaseName(lpModuleName)) : -1;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (index < 0 || !IsLoaded(index)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return HandleOf(index);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  int index = IndexOfHandle(hModule);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (index < 0 || !IsLoaded(index)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
  }
  // Names only: an ordinal (a "name" below 0x10000) is not exported here.
  if (!lpProcName || reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  std::string base = kModules[index].name;
  std::string name = lpProcName;
  // [libraries] rasapi32_lacks=RasDeleteEntryA,... (kernel32_lacks=...,
  // advapi32_lacks=...) takes exports away.
  for (const auto& lacking : SplitList(SystemIni()->Get("libraries", base + "_lacks", ""))) {
    if (lacking == name) {
      SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Procs().find({base, name});  // export names are case-sensitive
  if (it == Procs().end() || !it->second) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return it->second;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  int index = IndexOfHandle(hLibModule);
  std::lock_guard<std::mutex> lock(g_mutex);
  if (index < 0 || g_load_count[index] == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  --g_load_count[index];
  return TRUE;
}
