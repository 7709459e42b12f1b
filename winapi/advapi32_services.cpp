// advapi32: the Service Control Manager over services.ini of the world.
//
// One section per service (names compare without regard to case):
//   state=running|stopped|disabled   what QueryServiceStatus reports
//   start=ok|fail|stops              what StartServiceA does
//   start_ms, wait_hint, error       timing and failure code (see FUNCTIONS.md)
// A start in progress is kept in the file too (state=start_pending with
// pending_end and pending_until), so every process sees the same service.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "winapi/handles.h"
#include "winapi/standin_control.h"
#include "winapi/standin_internal.h"
#include "winapi/windows.h"
#include "winapi/world.h"

namespace standin {
namespace {

constexpr DWORD kErrorInvalidAddress = 487;
constexpr DWORD kErrorInvalidServiceControl = 1052;
constexpr DWORD kErrorDatabaseDoesNotExist = 1065;
constexpr DWORD kRpcServerUnavailable = 1722;
constexpr DWORD kServiceWin32OwnProcess = 0x10;
constexpr DWORD kServiceAcceptStop = 0x1;

class ScManagerObject : public HandleObject {
 public:
  explicit ScManagerObject(DWORD a) : access(a) {}
  bool OnClose(DWORD* error) override {
    *error = ERROR_INVALID_HANDLE;  // only CloseServiceHandle closes it
    return false;
  }
  const DWORD access;
};

class ServiceObject : public HandleObject {
 public:
  ServiceObject(std::string n, std::string s, DWORD a) : name(std::move(n)), section(std::move(s)), access(a) {}
  bool OnClose(DWORD* error) override {
    *error = ERROR_INVALID_HANDLE;
    return false;
  }
  const std::string name;     // as the caller spelled it
  const std::string section;  // as services.ini spells it
  const DWORD access;
};

std::string ServicesPath() { return world::FilePath("services.ini"); }

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Exclusive use of services.ini for one read-change-write.
class ServicesLock {
 public:
  ServicesLock() {
    fd_ = open(world::FilePath("services.ini.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~ServicesLock() {
    if (fd_ >= 0) close(fd_);
  }
  ServicesLock(const ServicesLock&) = delete;
  ServicesLock& operator=(const ServicesLock&) = delete;

 private:
  int fd_ = -1;
};

// The section of services.ini that names the service, or "" when none does.
std::string FindSection(const world::IniFile& ini, const std::string& name) {
  for (const auto& s : ini.Sections()) {
    if (EqualNoCase(s.first, name)) return s.first;
  }
  return "";
}

// Finishes a start whose time has come: a pending start ends once it has been
// reported at least once and its start_ms have passed. Returns whether the
// file changed.
bool Advance(world::IniFile& ini, const std::string& section) {
  if (LowerAscii(ini.Get(section, "state")) != "start_pending") return false;
  bool seen = ini.GetInt(section, "pending_seen", 0) != 0;
  long until_ms = ini.GetInt(section, "pending_until", 0);
  if (!seen || NowMs() < static_cast<int64_t>(until_ms)) return false;
  std::string end = LowerAscii(ini.Get(section, "pending_end", "running"));
  ini.Set(section, "state", end == "stopped" ? "stopped" : "running");
  if (end == "stopped") ini.Set(section, "exit_code", std::to_string(kErrorProcessAborted));
  ini.RemoveKey(section, "pending_end");
  ini.RemoveKey(section, "pending_until");
  ini.RemoveKey(section, "pending_seen");
  ini.RemoveKey(section, "checkpoint");
  return true;
}

}  // namespace
}  // namespace standin

using namespace standin;

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess) {
  if (lpMachineName && *lpMachineName) {
    // Only the local machine's manager is simulated.
    SetLastError(kRpcServerUnavailable);
    return nullptr;
  }
  // The active database (named exactly so, or by NULL or ""), else: the
  // failed one's name does not exist (1065), any other is not a database
  // name (123), as Wine answers (the names compare with their case).
  if (lpDatabaseName && *lpDatabaseName && std::strcmp(lpDatabaseName, "ServicesActive") != 0) {
    SetLastError(std::strcmp(lpDatabaseName, "ServicesFailed") == 0 ? kErrorDatabaseDoesNotExist
                                                                    : static_cast<DWORD>(ERROR_INVALID_NAME));
    return nullptr;
  }
  HANDLE h = RegisterHandle(std::make_shared<ScManagerObject>(dwDesiredAccess));
  return reinterpret_cast<SC_HANDLE>(h);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
  if (!LookupHandleAs<ScManagerObject>(reinterpret_cast<HANDLE>(hSCManager))) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!lpServiceName) {
    SetLastError(kErrorInvalidAddress);
    return nullptr;
  }
  if (!*lpServiceName) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  world::IniFile ini = world::IniFile::Load(ServicesPath());
  std::string section = FindSection(ini, lpServiceName);
  if (section.empty()) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  HANDLE h = RegisterHandle(std::make_shared<ServiceObject>(lpServiceName, section, dwDesiredAccess));
  return reinterpret_cast<SC_HANDLE>(h);
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
  auto service = LookupHandleAs<ServiceObject>(reinterpret_cast<HANDLE>(hService));
  if (!service) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(service->access & SERVICE_QUERY_STATUS)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!lpServiceStatus) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ServicesLock lock;
  world::IniFile ini = world::IniFile::Load(ServicesPath());
  if (FindSection(ini, service->section).empty()) {
    // Removed from the world since it was opened.
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return FALSE;
  }
  bool changed = Advance(ini, service->section);
  std::string state = LowerAscii(ini.Get(service->section, "state", "stopped"));
  SERVICE_STATUS s{};
  s.dwServiceType = static_cast<DWORD>(ini.GetInt(service->section, "type", kServiceWin32OwnProcess));
  if (state == "running") {
    s.dwCurrentState = SERVICE_RUNNING;
    s.dwControlsAccepted = kServiceAcceptStop;
  } else if (state == "start_pending") {
    s.dwCurrentState = SERVICE_START_PENDING;
    long checkpoint = ini.GetInt(service->section, "checkpoint", 0) + 1;
    s.dwCheckPoint = static_cast<DWORD>(checkpoint);
    s.dwWaitHint = static_cast<DWORD>(ini.GetInt(service->section, "pending_hint", 0));
    ini.Set(service->section, "checkpoint", std::to_string(checkpoint));
    ini.Set(service->section, "pending_seen", "1");
    changed = true;
  } else {
    s.dwCurrentState = SERVICE_STOPPED;
    s.dwWin32ExitCode = static_cast<DWORD>(ini.GetInt(service->section, "exit_code", 0));
  }
  if (changed) ini.Save(ServicesPath());
  *lpServiceStatus = s;
  return TRUE;
}

BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCSTR* lpServiceArgVectors) {
  (void)dwNumServiceArgs;
  (void)lpServiceArgVectors;
  auto service = LookupHandleAs<ServiceObject>(reinterpret_cast<HANDLE>(hService));
  if (!service) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(service->access & SERVICE_START)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  world::Journal("service start " + service->name);
  ServicesLock lock;
  world::IniFile ini = world::IniFile::Load(ServicesPath());
  const std::string& sec = service->section;
  if (FindSection(ini, sec).empty()) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return FALSE;
  }
  if (Advance(ini, sec)) ini.Save(ServicesPath());
  std::string state = LowerAscii(ini.Get(sec, "state", "stopped"));
  if (state == "running" || state == "start_pending") {
    SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    return FALSE;
  }
  if (state == "disabled") {
    SetLastError(ERROR_SERVICE_DISABLED);
    return FALSE;
  }
  std::string how = LowerAscii(ini.Get(sec, "start", "ok"));
  if (how == "fail") {
    SetLastError(static_cast<DWORD>(ini.GetInt(sec, "error", ERROR_SERVICE_DISABLED)));
    return FALSE;
  }
  if (how != "ok" && how != "stops") {
    // A start behaviour the world does not know: the service cannot start.
    SetLastError(kErrorInvalidServiceControl);
    return FALSE;
  }
  bool stops = how == "stops";
  ini.Set(sec, "state", "start_pending");
  ini.Set(sec, "pending_end", stops ? "stopped" : "running");
  ini.Set(sec, "pending_until", std::to_string(NowMs() + ini.GetInt(sec, "start_ms", 0)));
  ini.Set(sec, "pending_hint", stops ? "0" : std::to_string(ini.GetInt(sec, "wait_hint", 100)));
  ini.Set(sec, "pending_seen", "0");
  ini.Set(sec, "checkpoint", "0");
  ini.RemoveKey(sec, "exit_code");
  if (!ini.Save(ServicesPath())) {
    SetLastError(ERROR_SERVICE_NO_THREAD);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  HANDLE h = reinterpret_cast<HANDLE>(hSCObject);
  bool known = LookupHandleAs<ScManagerObject>(h) || LookupHandleAs<ServiceObject>(h);
  if (!known || !UnregisterHandle(h)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

// What GetProcAddress finds in the pseudo module "advapi32.dll": the plug-in
// looks the service calls up at run time because the 95 family lacks them.
extern "C" {
int StandinAnchor_advapi32_services = 0;
}

namespace {

const bool kRegistered = [] {
  StandinRegisterProc("advapi32.dll", "OpenSCManagerA", StandinProc(&OpenSCManagerA));
  StandinRegisterProc("advapi32.dll", "OpenServiceA", StandinProc(&OpenServiceA));
  StandinRegisterProc("advapi32.dll", "QueryServiceStatus", StandinProc(&QueryServiceStatus));
  StandinRegisterProc("advapi32.dll", "StartServiceA", StandinProc(&StartServiceA));
  StandinRegisterProc("advapi32.dll", "CloseServiceHandle", StandinProc(&CloseServiceHandle));
  return true;
}();

}  // namespace
