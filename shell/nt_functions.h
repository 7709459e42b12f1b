// The Windows NT family's functions that the Windows 95 family does not
// implement: LockFileEx, UnlockFileEx and MoveFileExA of kernel32.dll, and
// the Service Control Manager's calls of advapi32.dll. The plug-in does not
// import them: one name in the import table that a system's DLL lacks makes
// LoadLibrary fail for the whole plug-in. They are found here, at run time,
// and a caller that gets none takes the way that both families have (the
// entry file's save with MoveFileA and LockFile; no service check).
#pragma once

#include "shell/platform.h"

// The function `name` of the loaded system DLL `module` ("kernel32.dll",
// "advapi32.dll"); null on the 95 family, which implements none of these
// (none is called there even where its DLL answers for the name), and
// wherever the DLL lacks it.
FARPROC FindNtFunction(const char* module, const char* name);

// The same, as the function's own pointer type:
//   const auto move = NtFunction<decltype(&MoveFileExA)>("kernel32.dll", "MoveFileExA");
template <class FunctionPointer>
FunctionPointer NtFunction(const char* module, const char* name) {
  return reinterpret_cast<FunctionPointer>(reinterpret_cast<void (*)()>(FindNtFunction(module, name)));
}
