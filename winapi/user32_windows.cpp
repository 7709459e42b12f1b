// user32's windows and messages: top-level windows as listed in windows.ini
// of the world (FindWindowA, GetWindowThreadProcessId), and a message queue
// per thread (PostThreadMessageA, PeekMessageA, DispatchMessageA).
//
// windows.ini: in the section [windows], one line "Title=pid" per open
// top-level window; the title is everything before the last "=", taken
// exactly as written (no trimming, compared with case), the pid the process
// that owns the window. A process started by WinExec opens a window by
// appending such a line (see docs/world.md).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "winapi/standin_sync.h"
#include "winapi/standin_windows.h"
#include "winapi/windows.h"
#include "winapi/world.h"

extern "C" {
int StandinAnchor_user32_windows = 0;
}

namespace {

constexpr DWORD kErrorInvalidThreadId = 1444;
constexpr DWORD kErrorClassDoesNotExist = 1411;

// ---------------------------------------------------------------------------
// The window table

struct Window {
  std::string title;
  DWORD pid = 0;
};

std::string WindowsPath() { return world::FilePath("windows.ini"); }

std::mutex& WindowsFileMutex() {
  static std::mutex m;
  return m;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool IsSectionLine(const std::string& line) {
  size_t b = line.find_first_not_of(" \t");
  return b != std::string::npos && line[b] == '[';
}

bool IsWindowsSection(const std::string& line) {
  size_t b = line.find('[');
  size_t e = line.find(']', b);
  if (e == std::string::npos) return false;
  std::string name = line.substr(b + 1, e - b - 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "windows";
}

// A window line of the [windows] section (or of the top, before any section).
bool ParseWindow(const std::string& line, Window* window) {
  if (line.empty() || line[0] == ';' || line[0] == '#') return false;
  const size_t eq = line.rfind('=');
  if (eq == std::string::npos || eq == 0) return false;
  const std::string pid_text = line.substr(eq + 1);
  char* end = nullptr;
  const unsigned long pid = std::strtoul(pid_text.c_str(), &end, 10);
  while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
  if (end == pid_text.c_str() || (end != nullptr && *end != '\0') || pid == 0 || pid > 0x7FFFFFFFUL) return false;
  window->title = line.substr(0, eq);
  window->pid = static_cast<DWORD>(pid);
  return true;
}

// Walks windows.ini line by line, in file order: `visit` gets every line,
// with its window when it is a window line of the [windows] section.
template <class Visit>
void WalkWindows(const std::vector<std::string>& lines, Visit visit) {
  bool in_windows = true;  // lines before any section count
  for (const std::string& line : lines) {
    if (IsSectionLine(line)) {
      in_windows = IsWindowsSection(line);
      visit(line, nullptr);
      continue;
    }
    Window window;
    if (in_windows && ParseWindow(line, &window)) {
      visit(line, &window);
    } else {
      visit(line, nullptr);
    }
  }
}

std::vector<Window> OpenWindows() {
  std::lock_guard<std::mutex> lock(WindowsFileMutex());
  std::vector<Window> windows;
  WalkWindows(Lines(ReadText(WindowsPath())), [&](const std::string&, const Window* w) {
    if (w != nullptr) windows.push_back(*w);
  });
  return windows;
}

// Window handles of this process: one per (pid, title), stable for as long
// as the process runs; never NULL.
class HandleTable {
 public:
  HWND HandleOf(const Window& w) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto key = std::make_pair(w.pid, w.title);
    auto it = by_window_.find(key);
    if (it != by_window_.end()) return it->second;
    HWND handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10000 + 4 * by_handle_.size()));
    by_window_[key] = handle;
    by_handle_[handle] = w;
    return handle;
  }
  bool WindowOf(HWND handle, Window* w) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = by_handle_.find(handle);
    if (it == by_handle_.end()) return false;
    *w = it->second;
    return true;
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<DWORD, std::string>, HWND> by_window_;
  std::map<HWND, Window> by_handle_;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

// ---------------------------------------------------------------------------
// Thread message queues

class MessageQueues {
 public:
  void Post(DWORD thread, const MSG& msg) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queues_[thread].push_back(msg);
    }
    StandinWakeMessageWaiters();
  }
  bool HasMessages(DWORD thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = queues_.find(thread);
    return it != queues_.end() && !it->second.empty();
  }
  // The first message of the thread's queue that passes the filters.
  bool Peek(DWORD thread, MSG* out, HWND hwnd, UINT min, UINT max, bool remove) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = queues_.find(thread);
    if (it == queues_.end()) return false;
    // Every queued message is a thread message (no window): a filter on a
    // window other than "thread messages" (-1) passes none of them.
    if (hwnd != nullptr && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) return false;
    auto& queue = it->second;
    for (auto m = queue.begin(); m != queue.end(); ++m) {
      if ((min != 0 || max != 0) && (m->message < min || m->message > max)) continue;
      *out = *m;
      if (remove) queue.erase(m);
      return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::map<DWORD, std::deque<MSG>> queues_;
};

MessageQueues& Queues() {
  static MessageQueues queues;
  return queues;
}

bool ThreadHasMessages(DWORD thread_id) { return Queues().HasMessages(thread_id); }

const bool kProbeInstalled = [] {
  StandinSetMessageProbe(&ThreadHasMessages);
  return true;
}();

}  // namespace

void StandinRemoveWindowsOfProcess(DWORD process_id) {
  std::lock_guard<std::mutex> lock(WindowsFileMutex());
  const std::string path = WindowsPath();
  std::string kept;
  bool changed = false;
  WalkWindows(Lines(ReadText(path)), [&](const std::string& line, const Window* w) {
    if (w != nullptr && w->pid == process_id) {
      changed = true;
      return;
    }
    kept += line + "\n";
  });
  if (!changed) return;
  // Rewritten whole, then renamed over the old file.
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << kept;
    if (!out) return;
  }
  std::rename(temp.c_str(), path.c_str());
}

bool StandinProcessHasWindow(DWORD process_id) {
  for (const Window& w : OpenWindows())
    if (w.pid == process_id) return true;
  return false;
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
  // The windows of the world have no class that a caller could name.
  if (lpClassName != nullptr) {
    SetLastError(kErrorClassDoesNotExist);
    return nullptr;
  }
  const std::vector<Window> windows = OpenWindows();
  // The most recently opened of several windows with one title is on top.
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if (lpWindowName == nullptr || it->title == lpWindowName) return Handles().HandleOf(*it);
  }
  return nullptr;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  Window w;
  bool open = false;
  if (Handles().WindowOf(hWnd, &w)) {
    for (const Window& candidate : OpenWindows()) {
      if (candidate.pid == w.pid && candidate.title == w.title) open = true;
    }
  }
  if (!open) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (lpdwProcessId != nullptr) *lpdwProcessId = w.pid;
  return w.pid;  // the process's main thread
}

BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (idThread == 0) {
    SetLastError(kErrorInvalidThreadId);
    return FALSE;
  }
  MSG msg{};
  msg.hwnd = nullptr;
  msg.message = Msg;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  Queues().Post(idThread, msg);
  return TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Queues().Peek(GetCurrentThreadId(), lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax,
                       (wRemoveMsg & PM_REMOVE) != 0)
             ? TRUE
             : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
  // Thread messages have no window procedure to go to; the stand-in's
  // windows have none either.
  (void)lpMsg;
  return 0;
}
