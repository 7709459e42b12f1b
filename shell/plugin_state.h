// Module-wide state set at the entry points: the module path and the Windows
// version record.
#pragma once

#include <string>

#include "shell/platform.h"

// The library's full file name as the host reports it (up to its first zero
// byte, at most 260 bytes).
void SetModulePathFromField(const char* field);
const std::string& ModulePath();

// Filled by OpenPlugin with GetVersionExA; zeroed until then.
OSVERSIONINFOA& VersionRecord();
// 2 for the Windows NT family.
DWORD PlatformId();
