// kernel32's processes: WinExec starts a real process of this machine and,
// as on Windows, returns once it is ready (its window is open) or has
// ended; OpenProcess and TerminateProcess reach a real process by its pid.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "winapi/handles.h"
#include "winapi/standin_windows.h"
#include "winapi/windows.h"
#include "winapi/world.h"

namespace {

// What WinExec returns for a started program (any value above 31 means
// success).
constexpr UINT kWinExecStarted = 33;
// How long WinExec waits at most for the started program to open a window.
constexpr auto kWinExecIdleLimit = std::chrono::seconds(10);

class ProcessObject : public standin::HandleObject {
 public:
  ProcessObject(pid_t pid, DWORD access) : pid_(pid), access_(access) {}
  pid_t pid() const { return pid_; }
  DWORD access() const { return access_; }

 private:
  pid_t pid_;
  DWORD access_;
};

// The program a command line starts: its first word, quotes removed.
std::string ProgramOf(const std::string& command_line) {
  size_t i = command_line.find_first_not_of(" \t");
  if (i == std::string::npos) return "";
  std::string word;
  char quote = 0;
  for (; i < command_line.size(); ++i) {
    const char c = command_line[i];
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ' ' || c == '\t') {
      break;
    } else {
      word += c;
    }
  }
  return word;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Whether the program exists: a path as it stands, a bare name along PATH.
bool ProgramExists(const std::string& program) {
  if (program.empty()) return false;
  if (program.find('/') != std::string::npos || program.find('\\') != std::string::npos) {
    return IsExecutableFile(program) || IsExecutableFile(world::HostPath(program));
  }
  const char* env = std::getenv("PATH");
  const std::string path = env != nullptr ? env : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t colon = path.find(':', start);
    if (colon == std::string::npos) colon = path.size();
    const std::string dir = colon > start ? path.substr(start, colon - start) : ".";
    if (IsExecutableFile(dir + "/" + program)) return true;
    start = colon + 1;
  }
  return false;
}

// Starts `sh -c command_line` detached from this process (its own session,
// standard streams on /dev/null, reaped by init). Returns the started
// process's id (the shell's, which `exec` keeps), or 0 when it could not be
// started.
pid_t StartDetached(const std::string& command_line) {
  const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd < 0) return 0;
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    close(null_fd);
    return 0;
  }
  const long max_fd = std::min(sysconf(_SC_OPEN_MAX), 4096L);
  const pid_t child = fork();
  if (child < 0) {
    close(null_fd);
    close(report[0]);
    close(report[1]);
    return 0;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) {
      if (grandchild > 0 && write(report[1], &grandchild, sizeof grandchild) != sizeof grandchild) _exit(1);
      _exit(grandchild < 0 ? 1 : 0);
    }
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    dup2(null_fd, 2);
    for (long fd = 3; fd < max_fd; ++fd) close(static_cast<int>(fd));
    execl("/bin/sh", "sh", "-c", command_line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(null_fd);
  close(report[1]);
  pid_t started = 0;
  ssize_t got = 0;
  while ((got = read(report[0], &started, sizeof started)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (got != sizeof started || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
  return started;
}

// Whether the process has ended: gone, or a zombie its new parent has not
// reaped yet.
bool ProcessEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t paren = text.rfind(')');
  return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'Z';
}

// As Windows' WinExec returns only once the started program waits for
// input (its window is up) or a time-out has passed: waits until the
// program has opened a window, has ended, or the limit is reached.
void WaitUntilIdle(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + kWinExecIdleLimit;
  while (!StandinProcessHasWindow(static_cast<DWORD>(pid)) && !ProcessEnded(pid) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

UINT WINAPI WinExec(LPCSTR lpCmdLine, UINT uCmdShow) {
  (void)uCmdShow;  // no screen here
  if (lpCmdLine == nullptr || !ProgramExists(ProgramOf(lpCmdLine))) return ERROR_FILE_NOT_FOUND;
  const pid_t started = StartDetached(lpCmdLine);
  if (started == 0) return 0;  // out of system resources
  world::Journal(std::string("winexec ") + lpCmdLine);
  WaitUntilIdle(started);
  return kWinExecStarted;
}

HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
  (void)bInheritHandle;
  if (dwProcessId == 0 || dwProcessId > 0x7FFFFFFFu) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const pid_t pid = static_cast<pid_t>(dwProcessId);
  if (kill(pid, 0) != 0 && errno == ESRCH) {
    SetLastError(ERROR_INVALID_PARAMETER);  // no such process
    return nullptr;
  }
  return standin::RegisterHandle(std::make_shared<ProcessObject>(pid, dwDesiredAccess));
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  (void)uExitCode;  // a signal carries none
  const std::shared_ptr<ProcessObject> process = standin::LookupHandleAs<ProcessObject>(hProcess);
  if (process == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((process->access() & PROCESS_TERMINATE) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (kill(process->pid(), SIGTERM) != 0) {
    // Gone already, or not ours to end: both are "access denied" on Windows.
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  StandinRemoveWindowsOfProcess(static_cast<DWORD>(process->pid()));
  world::Journal("terminate " + std::to_string(process->pid()));
  return TRUE;
}

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }
