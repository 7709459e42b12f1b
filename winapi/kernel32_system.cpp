// kernel32: last error, system message texts, version, time; and the
// stand-in's cache of system.ini.
#include <time.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "winapi/standin_control.h"
#include "winapi/standin_internal.h"
#include "winapi/windows.h"
#include "winapi/world.h"

namespace standin {
namespace {

std::mutex g_ini_mutex;
std::shared_ptr<const world::IniFile> g_system_ini;
std::string g_system_ini_path;

}  // namespace

std::shared_ptr<const world::IniFile> SystemIni() {
  std::string path = world::FilePath("system.ini");
  std::lock_guard<std::mutex> lock(g_ini_mutex);
  // A different world directory counts as a reload, so a test that only
  // changes WINAPI_WORLD never reads the previous world's settings.
  if (!g_system_ini || path != g_system_ini_path) {
    g_system_ini = std::make_shared<const world::IniFile>(world::IniFile::Load(path));
    g_system_ini_path = path;
  }
  return g_system_ini;
}

namespace {

void ResetSystemIni() {
  std::lock_guard<std::mutex> lock(g_ini_mutex);
  g_system_ini.reset();
  g_system_ini_path.clear();
}

const bool kSystemIniHook = (StandinAddReloadHook(&ResetSystemIni), true);

}  // namespace

DWORD WinErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EIO:
      return ERROR_WRITE_FAULT;
    case EXDEV:
      return kErrorNotSameDevice;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string LowerAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string item = text.substr(start, comma - start);
    size_t b = item.find_first_not_of(" \t");
    size_t e = item.find_last_not_of(" \t");
    if (b != std::string::npos) items.push_back(item.substr(b, e - b + 1));
    start = comma + 1;
  }
  return items;
}

}  // namespace standin

namespace {

std::mutex& HooksMutex() {
  static std::mutex m;
  return m;
}
std::vector<void (*)()>& Hooks() {
  static auto* hooks = new std::vector<void (*)()>();
  return *hooks;
}

}  // namespace

void StandinAddReloadHook(void (*hook)()) {
  if (!hook) return;
  std::lock_guard<std::mutex> lock(HooksMutex());
  Hooks().push_back(hook);
}

void StandinReloadWorld() {
  // Every cache of the world, this file's system.ini among them, is reset by
  // the hook its own file added.
  std::vector<void (*)()> hooks;
  {
    std::lock_guard<std::mutex> lock(HooksMutex());
    hooks = Hooks();
  }
  for (auto hook : hooks) hook();
}

// ---- Last error -----------------------------------------------------------------

namespace {
thread_local DWORD t_last_error = 0;
}  // namespace

DWORD WINAPI GetLastError(void) { return t_last_error; }
void WINAPI SetLastError(DWORD dwErrCode) { t_last_error = dwErrCode; }

// ---- FormatMessageA ----------------------------------------------------------------

namespace {

constexpr DWORD kErrorMrMidNotFound = 317;
constexpr DWORD kFormatMessageAllocateBuffer = 0x00000100;
constexpr DWORD kFormatMessageFromString = 0x00000400;
constexpr DWORD kFormatMessageFromHmodule = 0x00000800;
constexpr DWORD kFormatMessageArgumentArray = 0x00002000;
constexpr DWORD kFormatMessageMaxWidthMask = 0x000000FF;

struct SystemText {
  DWORD code;
  const char* text;
};

// The system's English message texts for the codes a caller of the
// functions this stand-in provides meets.
constexpr SystemText kSystemTexts[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {17, "The system cannot move the file to a different disk drive."},
    {18, "There are no more files."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {32, "The process cannot access the file because it is being used by another process."},
    {38, "Reached the end of the file."},
    {39, "The disk is full."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {145, "The directory is not empty."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {998, "Invalid access to memory location."},
    {1004, "Invalid flags."},
    {1010, "The configuration registry key is invalid."},
    {1011, "The configuration registry key could not be opened."},
    {1012, "The configuration registry key could not be read."},
    {1013, "The configuration registry key could not be written."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1053, "The service did not respond to the start or control request in a timely fashion."},
    {1054, "A thread could not be created for the service."},
    {1056, "An instance of the service is already running."},
    {1058,
     "The service cannot be started, either because it is disabled or because it has no enabled devices "
     "associated with it."},
    {1060, "The specified service does not exist as an installed service."},
    {1062, "The service has not been started."},
    {1067, "The process terminated unexpectedly."},
    {1400, "Invalid window handle."},
};

}  // namespace

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, void* Arguments) {
  (void)lpSource;
  (void)dwLanguageId;
  (void)Arguments;
  // Only system texts into a caller's buffer are provided; allocation by the
  // call, texts from strings or modules, and line-width formatting are not.
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) ||
      (dwFlags & (kFormatMessageAllocateBuffer | kFormatMessageFromString | kFormatMessageFromHmodule |
                  kFormatMessageArgumentArray | kFormatMessageMaxWidthMask))) {
    SetLastError(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* found = nullptr;
  for (const auto& entry : kSystemTexts) {
    if (entry.code == dwMessageId) found = entry.text;
  }
  if (!found) {
    SetLastError(kErrorMrMidNotFound);
    return 0;
  }
  std::string text = std::string(found) + "\r\n";
  if (!lpBuffer || text.size() + 1 > nSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

// ---- Version ----------------------------------------------------------------------

namespace {

constexpr DWORD kOsVersionInfoExSize = 156;

// The version system.ini gives, read once for each load of the file: the
// plug-in asks before every file it opens.
struct Version {
  std::shared_ptr<const world::IniFile> from;  // held, so that its address names it
  OSVERSIONINFOA info{};
};

std::mutex g_version_mutex;
Version g_version;

OSVERSIONINFOA VersionOfWorld() {
  auto ini = standin::SystemIni();
  std::lock_guard<std::mutex> lock(g_version_mutex);
  if (g_version.from != ini) {
    OSVERSIONINFOA& v = g_version.info;
    v = OSVERSIONINFOA{};
    const long platform = ini->GetInt("system", "platform_id", VER_PLATFORM_WIN32_NT);
    // Defaults follow the platform: 4.10.2222 for the 95 family, 5.1.2600 for NT.
    const bool nt = platform == VER_PLATFORM_WIN32_NT;
    v.dwPlatformId = static_cast<DWORD>(platform);
    v.dwMajorVersion = static_cast<DWORD>(ini->GetInt("system", "major", nt ? 5 : 4));
    v.dwMinorVersion = static_cast<DWORD>(ini->GetInt("system", "minor", nt ? 1 : 10));
    v.dwBuildNumber = static_cast<DWORD>(ini->GetInt("system", "build", nt ? 2600 : 2222));
    const std::string csd = ini->Get("system", "csd", "");
    std::strncpy(v.szCSDVersion, csd.c_str(), sizeof(v.szCSDVersion) - 1);
    g_version.from = ini;
  }
  return g_version.info;
}

}  // namespace

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (!lpVersionInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != kOsVersionInfoExSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const OSVERSIONINFOA v = VersionOfWorld();
  lpVersionInformation->dwPlatformId = v.dwPlatformId;
  lpVersionInformation->dwMajorVersion = v.dwMajorVersion;
  lpVersionInformation->dwMinorVersion = v.dwMinorVersion;
  lpVersionInformation->dwBuildNumber = v.dwBuildNumber;
  std::memcpy(lpVersionInformation->szCSDVersion, v.szCSDVersion, sizeof(v.szCSDVersion));
  if (size == kOsVersionInfoExSize) {
    // The extended record's service-pack, suite and product fields.
    std::memset(reinterpret_cast<BYTE*>(lpVersionInformation) + sizeof(OSVERSIONINFOA), 0,
                kOsVersionInfoExSize - sizeof(OSVERSIONINFOA));
  }
  return TRUE;
}

// ---- Time -------------------------------------------------------------------------

namespace {

// Day of the week (0 = Sunday) of a date of the Gregorian calendar.
WORD DayOfWeek(int y, int m, int d) {
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) y -= 1;
  return static_cast<WORD>((y + y / 4 - y / 100 + y / 400 + offsets[m - 1] + d) % 7);
}

bool ParseFixedNow(const std::string& text, SYSTEMTIME* st) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return false;
  if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
      s < 0 || s > 59)
    return false;
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(mo);
  st->wDay = static_cast<WORD>(d);
  st->wHour = static_cast<WORD>(h);
  st->wMinute = static_cast<WORD>(mi);
  st->wSecond = static_cast<WORD>(s);
  st->wMilliseconds = 0;
  st->wDayOfWeek = DayOfWeek(y, mo, d);
  return true;
}

}  // namespace

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  std::string fixed = standin::SystemIni()->Get("system", "now", "");
  if (!fixed.empty() && ParseFixedNow(fixed, lpSystemTime)) return;
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm {};
  localtime_r(&ts.tv_sec, &tm);
  lpSystemTime->wYear = static_cast<WORD>(tm.tm_year + 1900);
  lpSystemTime->wMonth = static_cast<WORD>(tm.tm_mon + 1);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  lpSystemTime->wDay = static_cast<WORD>(tm.tm_mday);
  lpSystemTime->wHour = static_cast<WORD>(tm.tm_hour);
  lpSystemTime->wMinute = static_cast<WORD>(tm.tm_min);
  lpSystemTime->wSecond = static_cast<WORD>(tm.tm_sec);
  lpSystemTime->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}

DWORD WINAPI GetTickCount(void) {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  // Wraps after 49.7 days, as the Windows counter does.
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec / 1000000);
  return static_cast<DWORD>(ms);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
