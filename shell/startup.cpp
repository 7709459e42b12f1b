// Start-up work of OpenPlugin, the service check and the failure guard.
#include "shell/startup.h"

#include <algorithm>
#include <exception>
#include <new>

#include "dial/connection.h"
#include "dial/dial_procedure.h"
#include "entries/entry_file.h"
#include "shell/file_io.h"
#include "shell/host_calls.h"
#include "shell/main_menu.h"
#include "shell/messages.h"
#include "shell/nt_functions.h"
#include "shell/plugin_error.h"
#include "shell/plugin_state.h"
#include "shell/settings.h"
#include "shell/text_helpers.h"
#include "tools/event_log.h"

namespace {

// The services that dial-up networking needs on the Windows NT family, with
// the message logged before each is started.
struct ServiceToCheck {
  const char* name;
  int message;
};
constexpr ServiceToCheck kServices[] = {
    {"RASMAN", MServiceRasman},
    {"SIMPTCP", MServiceSimptcp},
    {"TAPISRV", MServiceTapisrv},
};

constexpr DWORD kServiceStartLimitMs = 30000;

// The caption in the host's menus: one text for all three.
std::string g_caption;
const char* g_menu_strings[1] = {""};
const char kCommandPrefix[] = "ras";
// The flags of the plug-in's PluginInfo.
constexpr unsigned kPluginFlags = 12;

// The Service Control Manager's calls, found at run time: the 95 family
// implements none of them.
struct ServiceCalls {
  decltype(&OpenSCManagerA) open_manager;
  decltype(&OpenServiceA) open_service;
  decltype(&QueryServiceStatus) query_status;
  decltype(&StartServiceA) start_service;
  decltype(&CloseServiceHandle) close;

  // All five, or false when the system lacks any of them.
  bool Find() {
    constexpr char kAdvapi[] = "advapi32.dll";
    open_manager = NtFunction<decltype(&OpenSCManagerA)>(kAdvapi, "OpenSCManagerA");
    open_service = NtFunction<decltype(&OpenServiceA)>(kAdvapi, "OpenServiceA");
    query_status = NtFunction<decltype(&QueryServiceStatus)>(kAdvapi, "QueryServiceStatus");
    start_service = NtFunction<decltype(&StartServiceA)>(kAdvapi, "StartServiceA");
    close = NtFunction<decltype(&CloseServiceHandle)>(kAdvapi, "CloseServiceHandle");
    return open_manager && open_service && query_status && start_service && close;
  }
};

// A service manager or service handle that closes itself.
class ServiceHandle {
 public:
  ServiceHandle(const ServiceCalls& calls, SC_HANDLE handle) : calls_(calls), handle_(handle) {}
  ~ServiceHandle() {
    if (handle_ != nullptr) calls_.close(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  bool Valid() const { return handle_ != nullptr; }
  SC_HANDLE Get() const { return handle_; }

 private:
  const ServiceCalls& calls_;
  SC_HANDLE handle_;
};

void LogQuietly(const std::string& text) {
  try {
    WriteLogLine(text);
  } catch (...) {
    // The log itself is what failed, or cannot be written: the box says it.
  }
}

}  // namespace

bool ServiceCheckPossible() {
  ServiceCalls calls;
  return calls.Find();
}

bool IsServiceRunning(const char* name) {
  ServiceCalls calls;
  if (!calls.Find()) return false;
  // Handles close in reverse order of opening: the service, then the manager.
  ServiceHandle manager(calls, calls.open_manager(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.Valid()) return false;
  ServiceHandle service(calls, calls.open_service(manager.Get(), name, SERVICE_QUERY_STATUS | SERVICE_START));
  SERVICE_STATUS status{};
  if (!service.Valid() || !calls.query_status(service.Get(), &status)) return false;
  return status.dwCurrentState == SERVICE_RUNNING;
}

bool StartServiceAndWait(const char* name) {
  ServiceCalls calls;
  if (!calls.Find()) return false;
  ServiceHandle manager(calls, calls.open_manager(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.Valid()) return false;
  ServiceHandle service(calls, calls.open_service(manager.Get(), name, SERVICE_QUERY_STATUS | SERVICE_START));
  if (!service.Valid() || !calls.start_service(service.Get(), 0, nullptr)) return false;
  const DWORD started = GetTickCount();
  for (;;) {
    SERVICE_STATUS status{};
    if (!calls.query_status(service.Get(), &status)) return false;
    if (status.dwCurrentState == SERVICE_RUNNING) return true;
    // A service that fails while starting reports stopped: waiting longer
    // cannot help. Nor can waiting for ever on one that never gets there.
    if (status.dwCurrentState == SERVICE_STOPPED) return false;
    const DWORD elapsed = GetTickCount() - started;
    if (elapsed >= kServiceStartLimitMs) return false;
    const DWORD pause = std::clamp<DWORD>(status.dwWaitHint, 10, 1000);
    Sleep(std::min(pause, kServiceStartLimitMs - elapsed));
  }
}

void ReportSettingsProblems(bool log) {
  std::vector<std::string> problems = TakeSettingsProblems();
  if (problems.empty()) return;
  if (log) {
    for (const std::string& p : problems) LogQuietly(p);
  }
  // A box has room for three lines between its title and its button.
  if (problems.size() > 3) {
    const size_t more = problems.size() - 2;
    problems.resize(2);
    problems.push_back(Msg(MMoreInLogBefore) + std::to_string(more) + Msg(MMoreInLogAfter));
  }
  std::vector<std::string> items{Msg(MWarningTitle)};
  items.insert(items.end(), problems.begin(), problems.end());
  items.push_back(Msg(MOk));
  ShowMessage(FMSG_WARNING, items, 1);
}

void RunOpenPlugin(int origin, const char* command_text) {
  OSVERSIONINFOA& version = VersionRecord();
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  GetVersionExA(&version);
  SetModulePathFromField(HostRecord().ModulePath);
  ReadSettings();
  ReportSettingsProblems();

  // A system of the NT family without the service calls is left alone as
  // the 95 family is.
  if (PlatformId() == VER_PLATFORM_WIN32_NT && ServiceCheckPossible()) {
    for (const ServiceToCheck& s : kServices) {
      if (!IsServiceRunning(s.name)) {
        WriteLogLine(Msg(s.message));
        StartServiceAndWait(s.name);
      }
    }
  }

  if (!EntryFileExists()) {
    ShowMessage(FMSG_WARNING, {Msg(MWarningTitle), Msg(MEntryFileMissing), "", Msg(MOk)}, 1);
    WriteLogLine(Msg(MEntryFileMissing));
    return;
  }

  if (origin != OPEN_COMMANDLINE) {
    RunMainMenu();
    return;
  }
  const std::string text = command_text ? command_text : "";
  if (LowerAscii(text) == "hangup") {
    HangUpAll();
  } else if (text == "menu") {
    RunMainMenu();
  } else {
    DialProcedure(text);
  }
}

void FillPluginInfo(PluginInfo* info) {
  ReadSettings();
  PluginInfo out{};
  out.Flags = kPluginFlags;
  g_caption = Msg(MCaption);
  g_menu_strings[0] = g_caption.c_str();
  out.PluginMenuStrings = g_menu_strings;
  out.PluginMenuStringsNumber = 1;
  if (Settings().show_disk) {
    out.DiskMenuStrings = g_menu_strings;
    out.DiskMenuStringsNumber = 1;
  }
  out.DiskMenuNumbers = nullptr;
  out.PluginConfigStrings = g_menu_strings;
  out.PluginConfigStringsNumber = 1;
  out.CommandPrefix = kCommandPrefix;
  out.StructSize = 0;
  *info = out;
  // The size goes in last, once the record is complete.
  info->StructSize = sizeof(PluginInfo);
}

void RunGuarded(const std::function<void()>& action) {
  std::string failure;
  try {
    action();
    return;
  } catch (const std::bad_alloc&) {
    failure = Msg(MOutOfMemory);
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = Msg(MUnexpectedFailure);
  }
  try {
    LogQuietly(failure);
    ShowWarning(failure);
  } catch (...) {
    // Nothing more can be done without the host; never let it reach the host.
  }
}
