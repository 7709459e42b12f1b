// What the 32-bit DLL needs to load and work on both Windows families,
// linked into the product DLL only (never into the plug-in's logic):
//
//   - No TLS directory. The host loads the plug-in with LoadLibrary, and
//     for a DLL with static TLS (Knowledge Base article 118816) Windows 95's
//     LoadLibrary fails (error 1114, ERROR_DLL_INIT_FAILED), while Windows 98
//     and the NT family load it and fault on the first use of its TLS data,
//     which the loader never set up. mingw-w64's DLL start-up code refers
//     to __dyn_tls_init_callback, and that one reference pulls in the
//     runtime's TLS support, which brings the directory. Defining the
//     callback here as null keeps it out. Nothing in the plug-in uses
//     static TLS (no thread_local; the runtime's own per-thread data goes
//     through TlsAlloc, which both families have).
//
//   - No wide-character imports. The runtime calls CreateSemaphoreW (the
//     semaphore behind every lock of its win32 thread support: the guard of
//     a function-local static, exception globals), GetModuleHandleW and
//     LoadLibraryW (its start-up code looking for a shared libgcc). The 95
//     family exports these but only as stubs that fail, so a lock there
//     would exclude nothing. The runtime calls them through their import
//     slots; the slots are defined here, pointing at functions that convert
//     the name to the ANSI code page and call the ANSI form, which both
//     families implement. The import library's slots are then never linked,
//     and the DLL imports no W function at all (scripts/check-win32-dll
//     checks this).
//
// Not handled here: the toolchain's target is i686, so the code holds
// instructions of the Pentium Pro (cmov, fcomi, ...) and needs a Pentium
// Pro or later; scripts/check-win32-dll prints how many.
#include "shell/platform.h"

#if defined(_WIN32) && defined(__i386__)

#include <string>

namespace {

// A wide name in the ANSI code page; false when it cannot be converted.
bool NarrowName(LPCWSTR wide, std::string& narrow) {
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  narrow.assign(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow.data(), size, nullptr, nullptr) != size) return false;
  narrow.resize(static_cast<size_t>(size - 1));
  return true;
}

HANDLE WINAPI AnsiCreateSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
  if (name == nullptr) return CreateSemaphoreA(attributes, initial, maximum, nullptr);
  std::string narrow;
  if (!NarrowName(name, narrow)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  return CreateSemaphoreA(attributes, initial, maximum, narrow.c_str());
}

HMODULE WINAPI AnsiGetModuleHandle(LPCWSTR name) {
  if (name == nullptr) return GetModuleHandleA(nullptr);
  std::string narrow;
  if (!NarrowName(name, narrow)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return GetModuleHandleA(narrow.c_str());
}

HMODULE WINAPI AnsiLoadLibrary(LPCWSTR name) {
  std::string narrow;
  if (name == nullptr || !NarrowName(name, narrow)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return LoadLibraryA(narrow.c_str());
}

}  // namespace

extern "C" {

// The TLS callback that the DLL start-up code calls when it is not null.
extern const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback;
const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;

// The import slots of the three wide-character calls, under the names the
// runtime's references use (i686: "__imp__" + name + "@" + argument bytes).
extern decltype(&CreateSemaphoreW) const vez_slot_CreateSemaphoreW __asm__("__imp__CreateSemaphoreW@16");
decltype(&CreateSemaphoreW) const vez_slot_CreateSemaphoreW = &AnsiCreateSemaphore;
extern decltype(&GetModuleHandleW) const vez_slot_GetModuleHandleW __asm__("__imp__GetModuleHandleW@4");
decltype(&GetModuleHandleW) const vez_slot_GetModuleHandleW = &AnsiGetModuleHandle;
extern decltype(&LoadLibraryW) const vez_slot_LoadLibraryW __asm__("__imp__LoadLibraryW@4");
decltype(&LoadLibraryW) const vez_slot_LoadLibraryW = &AnsiLoadLibrary;

}  // extern "C"

#endif
