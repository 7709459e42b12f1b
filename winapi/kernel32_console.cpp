// kernel32: the console: standard handles, the title, and the input queue of
// INPUT_RECORDs that PeekConsoleInputA and ReadConsoleInputA read.
//
// The queue lives in this process. Tests and the simulated remote access
// service add key events with StandinPushKey; when standard input is a
// terminal, the bytes waiting on it are turned into key events each time the
// queue is looked at. The input handle can be waited on (kernel32_sync.cpp):
// it is signalled while a record, or a byte of the terminal, waits.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "winapi/file_object.h"
#include "winapi/handles.h"
#include "winapi/standin_console.h"
#include "winapi/standin_internal.h"
#include "winapi/standin_sync.h"
#include "winapi/windows.h"
#include "winapi/world.h"

static_assert(sizeof(INPUT_RECORD) == 20, "INPUT_RECORD must keep its Windows size");

namespace standin {
namespace {

constexpr WORD kVkBack = 0x08;
constexpr WORD kVkTab = 0x09;
constexpr WORD kVkReturn = 0x0D;
constexpr WORD kVkSpace = 0x20;
constexpr DWORD kShiftPressed = 0x0010;
constexpr DWORD kErrorInvalidAccess = 12;

std::mutex g_mutex;
std::condition_variable g_input_arrived;
std::deque<INPUT_RECORD> g_queue;
std::string g_title;
HANDLE g_std[3] = {nullptr, nullptr, nullptr};

struct KeyInfo {
  WORD vk;
  WORD scan;
  char ch;
  bool shift;
};

// The key and character of a virtual key pressed without modifiers.
KeyInfo FromVirtualKey(WORD vk) {
  switch (vk) {
    case VK_ESCAPE:
      return {vk, 0x01, 0x1B, false};
    case kVkReturn:
      return {vk, 0x1C, '\r', false};
    case kVkBack:
      return {vk, 0x0E, 0x08, false};
    case kVkTab:
      return {vk, 0x0F, '\t', false};
    case kVkSpace:
      return {vk, 0x39, ' ', false};
    default:
      break;
  }
  if (vk >= 'A' && vk <= 'Z') return {vk, 0, static_cast<char>(vk - 'A' + 'a'), false};
  if (vk >= '0' && vk <= '9') return {vk, 0, static_cast<char>(vk), false};
  return {vk, 0, 0, false};
}

// The key that types a byte read from the terminal.
KeyInfo FromByte(unsigned char b) {
  if (b == 0x1B) return FromVirtualKey(VK_ESCAPE);
  if (b == '\r' || b == '\n') return FromVirtualKey(kVkReturn);
  if (b == 0x7F || b == 0x08) return FromVirtualKey(kVkBack);
  if (b == '\t') return FromVirtualKey(kVkTab);
  if (b == ' ') return FromVirtualKey(kVkSpace);
  if (b >= 'a' && b <= 'z') return {static_cast<WORD>(b - 'a' + 'A'), 0, static_cast<char>(b), false};
  if (b >= 'A' && b <= 'Z') return {static_cast<WORD>(b), 0, static_cast<char>(b), true};
  if (b >= '0' && b <= '9') return {static_cast<WORD>(b), 0, static_cast<char>(b), false};
  return {0, 0, static_cast<char>(b), false};
}

INPUT_RECORD KeyRecord(const KeyInfo& key, bool down) {
  INPUT_RECORD r;
  std::memset(&r, 0, sizeof(r));
  r.EventType = KEY_EVENT;
  r.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
  r.Event.KeyEvent.wRepeatCount = 1;
  r.Event.KeyEvent.wVirtualKeyCode = key.vk;
  r.Event.KeyEvent.wVirtualScanCode = key.scan;
  r.Event.KeyEvent.uChar.AsciiChar = key.ch;
  r.Event.KeyEvent.dwControlKeyState = key.shift ? kShiftPressed : 0;
  return r;
}

// Standard input as a terminal, learnt once per process. A terminal in line
// mode is put into key-at-a-time mode without echo the first time the
// console input is used while this process is the terminal's foreground
// job (a console hands over each key as it comes, and so must the
// terminal, or a lone Esc would wait for Enter), and given its mode back
// when the process exits. Caller holds g_mutex.
struct Terminal {
  bool is_terminal = isatty(0) != 0;
  bool gone = false;  // hung up or at its end: nothing more will come
  bool mode_settled = false;
};
Terminal& StdinTerminal() {
  static Terminal terminal;
  return terminal;
}

struct termios g_saved_mode {};
// At exit the process may be in the terminal's background: with SIGTTOU
// blocked the mode is given back instead of the process being stopped.
void RestoreTerminalMode() {
  sigset_t ttou, old;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  pthread_sigmask(SIG_BLOCK, &ttou, &old);
  tcsetattr(0, TCSANOW, &g_saved_mode);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

// Whether this process may read the terminal now. A process in the
// terminal's background must not (that would stop it with SIGTTIN); its
// keys belong to the foreground job anyway.
bool TerminalIsOurs() {
  Terminal& t = StdinTerminal();
  if (!t.is_terminal || t.gone || tcgetpgrp(0) != getpgrp()) return false;
  if (!t.mode_settled) {
    t.mode_settled = true;
    struct termios mode {};
    if (tcgetattr(0, &mode) == 0 && (mode.c_lflag & ICANON)) {
      g_saved_mode = mode;
      mode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
      mode.c_cc[VMIN] = 1;
      mode.c_cc[VTIME] = 0;
      if (tcsetattr(0, TCSANOW, &mode) == 0) std::atexit(RestoreTerminalMode);
    }
  }
  return true;
}

// Turns the bytes waiting on a terminal's standard input into key events.
// Caller holds g_mutex.
void PumpTerminal() {
  if (!TerminalIsOurs()) return;
  std::string bytes;
  struct pollfd pfd {0, POLLIN, 0};
  while (poll(&pfd, 1, 0) > 0) {
    int available = 0;
    if (!(pfd.revents & POLLIN) || ioctl(0, FIONREAD, &available) != 0 || available <= 0) {
      // Hung up, or readable without a byte: the terminal has ended, and
      // is not watched again.
      StdinTerminal().gone = true;
      break;
    }
    std::string chunk(static_cast<size_t>(available), '\0');
    ssize_t n = read(0, chunk.data(), chunk.size());
    if (n <= 0) {
      StdinTerminal().gone = true;
      break;
    }
    bytes.append(chunk.data(), static_cast<size_t>(n));
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b == 0x1B && i + 1 < bytes.size() && (bytes[i + 1] == '[' || bytes[i + 1] == 'O')) {
      // A terminal's escape sequence (cursor or function key): skipped whole.
      i += 2;
      while (i < bytes.size() && !(bytes[i] >= 0x40 && bytes[i] <= 0x7E)) ++i;
      continue;
    }
    KeyInfo key = FromByte(b);
    g_queue.push_back(KeyRecord(key, true));
    g_queue.push_back(KeyRecord(key, false));
  }
}

bool IsConsoleInput(HANDLE h) {
  auto file = LookupHandleAs<FileObject>(h);
  return file && file->console_input;
}

}  // namespace
}  // namespace standin

using namespace standin;

void StandinPushKey(WORD vk, bool down) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_queue.push_back(KeyRecord(FromVirtualKey(vk), down));
  }
  g_input_arrived.notify_all();
  StandinWakeConsoleWaiters();
}

bool StandinConsoleInputWaiting() {
  std::lock_guard<std::mutex> lock(g_mutex);
  PumpTerminal();
  return !g_queue.empty();
}

int StandinConsoleInputFd(bool* look_again) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const Terminal& t = StdinTerminal();
  if (TerminalIsOurs()) return 0;
  *look_again = t.is_terminal && !t.gone;  // a terminal whose foreground job is another
  return -1;
}

void StandinClearConsoleInput() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_queue.clear();
}

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
  int fd;
  if (nStdHandle == STD_INPUT_HANDLE) fd = 0;
  else if (nStdHandle == STD_OUTPUT_HANDLE) fd = 1;
  else if (nStdHandle == STD_ERROR_HANDLE) fd = 2;
  else {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  HANDLE& h = g_std[fd];
  if (!h) {
    auto file = std::make_shared<FileObject>(fd, false, fd == 0, fd != 0, "");
    file->console_input = fd == 0;
    h = RegisterHandle(file);
  }
  return h;
}

// The checks PeekConsoleInputA and ReadConsoleInputA share; sets the last
// error when the call cannot go on.
static bool ValidInputCall(HANDLE handle, PINPUT_RECORD buffer, DWORD length, LPDWORD count) {
  if (!IsConsoleInput(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (!count || (!buffer && length)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

BOOL WINAPI PeekConsoleInputA(HANDLE hConsoleInput, PINPUT_RECORD lpBuffer, DWORD nLength,
                              LPDWORD lpNumberOfEventsRead) {
  if (!ValidInputCall(hConsoleInput, lpBuffer, nLength, lpNumberOfEventsRead)) return FALSE;
  std::lock_guard<std::mutex> lock(g_mutex);
  PumpTerminal();
  DWORD n = 0;
  for (; n < nLength && n < g_queue.size(); ++n) lpBuffer[n] = g_queue[n];
  *lpNumberOfEventsRead = n;
  return TRUE;
}

BOOL WINAPI ReadConsoleInputA(HANDLE hConsoleInput, PINPUT_RECORD lpBuffer, DWORD nLength,
                              LPDWORD lpNumberOfEventsRead) {
  if (!ValidInputCall(hConsoleInput, lpBuffer, nLength, lpNumberOfEventsRead)) return FALSE;
  std::unique_lock<std::mutex> lock(g_mutex);
  if (nLength == 0) {
    *lpNumberOfEventsRead = 0;
    return TRUE;
  }
  // Blocks until at least one record is there, as the console does.
  for (;;) {
    PumpTerminal();
    if (!g_queue.empty()) break;
    if (StdinTerminal().is_terminal) {
      g_input_arrived.wait_for(lock, std::chrono::milliseconds(20));
    } else {
      g_input_arrived.wait(lock);
    }
  }
  DWORD n = 0;
  for (; n < nLength && !g_queue.empty(); ++n) {
    lpBuffer[n] = g_queue.front();
    g_queue.pop_front();
  }
  *lpNumberOfEventsRead = n;
  return TRUE;
}

BOOL WINAPI WriteConsoleInputA(HANDLE hConsoleInput, const INPUT_RECORD* lpBuffer, DWORD nLength,
                               LPDWORD lpNumberOfEventsWritten) {
  // As the NT family checks: no count to write (where Windows itself would
  // fault) 12, as Wine answers; records to write from no buffer 998, the
  // count left as it was, except through INVALID_HANDLE_VALUE, which is
  // refused first; a handle that is no console input 6, the count set to 0.
  if (!lpNumberOfEventsWritten) {
    SetLastError(kErrorInvalidAccess);
    return FALSE;
  }
  if (hConsoleInput != INVALID_HANDLE_VALUE && !lpBuffer && nLength) {
    SetLastError(kErrorNoAccess);
    return FALSE;
  }
  if (!IsConsoleInput(hConsoleInput)) {
    *lpNumberOfEventsWritten = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (DWORD i = 0; i < nLength; ++i) g_queue.push_back(lpBuffer[i]);
  }
  *lpNumberOfEventsWritten = nLength;
  g_input_arrived.notify_all();
  StandinWakeConsoleWaiters();
  return TRUE;
}

BOOL WINAPI SetConsoleTitleA(LPCSTR lpConsoleTitle) {
  if (!lpConsoleTitle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string title = lpConsoleTitle;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_title = title;
  }
  world::Journal("title " + title);
  if (isatty(1)) {
    // The terminal's own title (OSC 0), without control characters that
    // would end the sequence early. The NT family's console reads the text
    // in its (OEM) code page, the 95 family's in the ANSI one.
    bool nt = SystemIni()->GetInt("system", "platform_id", VER_PLATFORM_WIN32_NT) == VER_PLATFORM_WIN32_NT;
    std::string shown = ToUtf8(title, nt ? OemCodePage() : AnsiCodePage());
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    std::string seq = "\033]0;" + shown + "\007";
    ssize_t ignored = write(1, seq.data(), seq.size());
    (void)ignored;
  }
  return TRUE;
}

DWORD WINAPI GetConsoleTitleA(LPSTR lpConsoleTitle, DWORD nSize) {
  if (!lpConsoleTitle && nSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  if (nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  size_t n = g_title.size() < nSize - 1 ? g_title.size() : nSize - 1;
  std::memcpy(lpConsoleTitle, g_title.data(), n);
  lpConsoleTitle[n] = '\0';
  if (n < g_title.size()) {
    // A buffer too small for the whole title gets its start and a result
    // of 0 with no error, as the console reports it.
    SetLastError(ERROR_SUCCESS);
    return 0;
  }
  return static_cast<DWORD>(n);
}
