// advapi32: GetUserNameA, the user named in system.ini [system] user.
#include <cstring>

#include "winapi/standin_internal.h"
#include "winapi/windows.h"

BOOL WINAPI GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer) {
  if (!pcbBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto ini = standin::SystemIni();
  // user_fails=1 simulates a process without a logon session's rights;
  // user_error picks another code.
  if (ini->GetInt("system", "user_fails", 0) != 0) {
    SetLastError(static_cast<DWORD>(ini->GetInt("system", "user_error", ERROR_ACCESS_DENIED)));
    return FALSE;
  }
  std::string user = ini->Get("system", "user", "User");
  DWORD needed = static_cast<DWORD>(user.size() + 1);
  if (!lpBuffer || *pcbBuffer < needed) {
    *pcbBuffer = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(lpBuffer, user.c_str(), needed);
  *pcbBuffer = needed;  // the length with its terminating zero
  return TRUE;
}
