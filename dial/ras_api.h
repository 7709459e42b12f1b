// Remote access records and calls, in their earliest fixed layouts.
//
// The system headers only carry the newest, larger layouts, so the records are
// declared here, inside 4-byte packing, exactly as the first remote access
// interface had them. The plug-in fills dwSize with these sizes, and the
// service (the system's rasapi32.dll, or the simulated one) accepts them.
// On 64-bit builds the records that hold a handle grow with the pointer size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "shell/platform.h"

#pragma pack(push, 4)

typedef struct HRASCONN__* HRASCONN;
typedef HRASCONN* LPHRASCONN;
typedef int RASCONNSTATE;

#define RAS_MaxEntryName 256
#define RAS_MaxPhoneNumber 128
#define RAS_MaxCallbackNumber 128
#define RAS_MaxDeviceType 16
#define RAS_MaxDeviceName 128
#define RAS_MaxIpAddress 15
#define RAS_UNLEN 256
#define RAS_PWLEN 256
#define RAS_DNLEN 15

struct RASDIALPARAMSA {
  DWORD dwSize;
  CHAR szEntryName[RAS_MaxEntryName + 1];
  CHAR szPhoneNumber[RAS_MaxPhoneNumber + 1];
  CHAR szCallbackNumber[RAS_MaxCallbackNumber + 1];
  CHAR szUserName[RAS_UNLEN + 1];
  CHAR szPassword[RAS_PWLEN + 1];
  CHAR szDomain[RAS_DNLEN + 1];
};

struct RASDIALEXTENSIONS {
  DWORD dwSize;
  DWORD dwfOptions;
  HWND hwndParent;
  ULONG_PTR reserved;
};

struct RASCONNA {
  DWORD dwSize;
  HRASCONN hrasconn;
  CHAR szEntryName[RAS_MaxEntryName + 1];
  CHAR szDeviceType[RAS_MaxDeviceType + 1];
  CHAR szDeviceName[RAS_MaxDeviceName + 1];
};

struct RASPPPIPA {
  DWORD dwSize;
  DWORD dwError;
  CHAR szIpAddress[RAS_MaxIpAddress + 1];
  CHAR szServerIpAddress[RAS_MaxIpAddress + 1];
};

struct RASENTRYNAMEA {
  DWORD dwSize;
  CHAR szEntryName[RAS_MaxEntryName + 1];
};

// The connection statistics of RasGetConnectionStatistics (the NT family
// from Windows 2000 on); the plug-in reads only dwBps.
struct RAS_STATS {
  DWORD dwSize;
  DWORD dwBytesXmited;
  DWORD dwBytesRcved;
  DWORD dwFramesXmited;
  DWORD dwFramesRcved;
  DWORD dwCrcErr;
  DWORD dwTimeoutErr;
  DWORD dwAlignmentErr;
  DWORD dwHardwareOverrunErr;
  DWORD dwFramingErr;
  DWORD dwBufferOverrunErr;
  DWORD dwCompressionRatioIn;
  DWORD dwCompressionRatioOut;
  DWORD dwBps;
  DWORD dwConnectDuration;
};

#pragma pack(pop)

// Sizes and offsets of the records that hold no pointer are the same on
// every build.
static_assert(sizeof(RASDIALPARAMSA) == 1052);
static_assert(offsetof(RASDIALPARAMSA, szEntryName) == 4);
static_assert(offsetof(RASDIALPARAMSA, szPhoneNumber) == 261);
static_assert(offsetof(RASDIALPARAMSA, szCallbackNumber) == 390);
static_assert(offsetof(RASDIALPARAMSA, szUserName) == 519);
static_assert(offsetof(RASDIALPARAMSA, szPassword) == 776);
static_assert(offsetof(RASDIALPARAMSA, szDomain) == 1033);
static_assert(sizeof(RASPPPIPA) == 40);
static_assert(offsetof(RASPPPIPA, dwError) == 4);
static_assert(offsetof(RASPPPIPA, szIpAddress) == 8);
static_assert(offsetof(RASPPPIPA, szServerIpAddress) == 24);
static_assert(sizeof(RAS_STATS) == 60);
static_assert(offsetof(RAS_STATS, dwBps) == 52);
static_assert(offsetof(RAS_STATS, dwConnectDuration) == 56);
static_assert(sizeof(RASENTRYNAMEA) == 264);
static_assert(offsetof(RASENTRYNAMEA, szEntryName) == 4);
// The records with a handle have these sizes on the 32-bit product.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(RASDIALEXTENSIONS) == 16);
static_assert(offsetof(RASDIALEXTENSIONS, dwfOptions) == 4);
static_assert(offsetof(RASDIALEXTENSIONS, hwndParent) == 8);
static_assert(offsetof(RASDIALEXTENSIONS, reserved) == 12);
static_assert(sizeof(RASCONNA) == 412);
static_assert(offsetof(RASCONNA, hrasconn) == 4);
#endif

// Dial options and projections used by the plug-in.
#define RDEOPT_UsePrefixSuffix 0x00000001
#define RDEOPT_IgnoreModemSpeaker 0x00000004
#define RDEOPT_SetModemSpeaker 0x00000008
#define RASP_PppIp 0x8021

// Connection states.
#define RASCS_PAUSED 0x1000
#define RASCS_DONE 0x2000
#define RASCS_OpenPort 0
#define RASCS_StartAuthentication 19
#define RASCS_Interactive RASCS_PAUSED
#define RASCS_RetryAuthentication (RASCS_PAUSED + 1)
#define RASCS_CallbackSetByCaller (RASCS_PAUSED + 2)
#define RASCS_PasswordExpired (RASCS_PAUSED + 3)
#define RASCS_Connected RASCS_DONE
#define RASCS_Disconnected (RASCS_DONE + 1)

// Error codes the plug-in names.
#define RAS_ERROR_BASE 600
#define ERROR_BUFFER_TOO_SMALL (RAS_ERROR_BASE + 3)
#define ERROR_REMOTE_DISCONNECTION 629

// The notifier of notifier type 0.
typedef void(WINAPI* RASDIALFUNC)(UINT unMsg, RASCONNSTATE rasconnstate, DWORD dwError);
// The notifier of notifier type 1: the same report, with the connection
// handle of the dial it belongs to.
typedef void(WINAPI* RASDIALFUNC1)(HRASCONN hrasconn, UINT unMsg, RASCONNSTATE rascs, DWORD dwError,
                                   DWORD dwExtendedError);
// RasDeleteEntry is not imported but looked up at run time.
typedef DWORD(WINAPI* RASDELETEENTRYFUNC)(LPCSTR lpszPhonebook, LPCSTR lpszEntry);
// Nor is RasGetConnectionStatistics, which systems before Windows 2000 lack.
typedef DWORD(WINAPI* RASGETCONNECTIONSTATISTICSFUNC)(HRASCONN hRasConn, RAS_STATS* lpStatistics);

extern "C" {
DWORD WINAPI RasDialA(RASDIALEXTENSIONS* lpRasDialExtensions, LPCSTR lpszPhonebook,
                      RASDIALPARAMSA* lpRasDialParams, DWORD dwNotifierType, LPVOID lpvNotifier,
                      LPHRASCONN lphRasConn);
DWORD WINAPI RasHangUpA(HRASCONN hrasconn);
DWORD WINAPI RasGetErrorStringA(UINT uErrorValue, LPSTR lpszErrorString, DWORD cBufSize);
DWORD WINAPI RasEnumConnectionsA(RASCONNA* lprasconn, LPDWORD lpcb, LPDWORD lpcConnections);
DWORD WINAPI RasGetProjectionInfoA(HRASCONN hrasconn, int rasprojection, LPVOID lpprojection, LPDWORD lpcb);
DWORD WINAPI RasGetEntryDialParamsA(LPCSTR lpszPhonebook, RASDIALPARAMSA* lprasdialparams, LPBOOL lpfPassword);
DWORD WINAPI RasEnumEntriesA(LPCSTR reserved, LPCSTR lpszPhonebook, RASENTRYNAMEA* lprasentryname,
                             LPDWORD lpcb, LPDWORD lpcEntries);
DWORD WINAPI RasCreatePhonebookEntryA(HWND hwnd, LPCSTR lpszPhonebook);
DWORD WINAPI RasEditPhonebookEntryA(HWND hwnd, LPCSTR lpszPhonebook, LPCSTR lpszEntryName);
}

// The list an enumeration of the service is asked with first, and how often
// a list that grows while it is being read is asked for again.
constexpr size_t kRasFirstListLength = 100;
constexpr int kRasListAttempts = 4;

// Runs one of the service's enumerations (RasEnumConnectionsA,
// RasEnumEntriesA) as `enumerate(records, &bytes, &count)` on a zeroed list
// whose first record carries the record size. While the service answers
// ERROR_BUFFER_TOO_SMALL with a size that the list does not exceed, the list
// grows past that size and is asked for again, kRasListAttempts calls at
// most, so that no record is left out. Returns the service's last answer;
// `listed` gets the records listed, none unless that answer is 0.
template <typename Record, typename Enumerate>
DWORD EnumerateRasList(Enumerate enumerate, std::vector<Record>& listed) {
  std::vector<Record> list(kRasFirstListLength);
  DWORD rc = 0;
  DWORD count = 0;
  for (int attempt = 0; attempt < kRasListAttempts; ++attempt) {
    std::fill(list.begin(), list.end(), Record{});
    list[0].dwSize = sizeof(Record);
    DWORD bytes = static_cast<DWORD>(list.size() * sizeof(Record));
    count = 0;
    rc = enumerate(list.data(), &bytes, &count);
    if (rc != ERROR_BUFFER_TOO_SMALL || bytes / sizeof(Record) < list.size()) break;
    list.resize(bytes / sizeof(Record) + 1);
  }
  listed.clear();
  if (rc != 0) return rc;
  list.resize(std::min<size_t>(count, list.size()));
  listed = std::move(list);
  return rc;
}
