// The terminal through ncurses (see curses_screen.h).
#include "host/terminal/curses_screen.h"

#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

// Console colour numbers (blue is 1, red 4) as terminal colour numbers.
constexpr short kBase[8] = {COLOR_BLACK, COLOR_BLUE,    COLOR_GREEN,  COLOR_CYAN,
                            COLOR_RED,   COLOR_MAGENTA, COLOR_YELLOW, COLOR_WHITE};

short TerminalColour(int console, bool sixteen) {
  return static_cast<short>(kBase[console & 7] + (sixteen && (console & 8) ? 8 : 0));
}

// The terminal's own line-drawing character for a frame character, for
// terminals that do not show UTF-8.
const cchar_t* LineCharacter(char32_t ch) {
  switch (ch) {
    case frame::kH: return WACS_HLINE;
    case frame::kV: return WACS_VLINE;
    case frame::kTL: return WACS_ULCORNER;
    case frame::kTR: return WACS_URCORNER;
    case frame::kBL: return WACS_LLCORNER;
    case frame::kBR: return WACS_LRCORNER;
    case frame::kDH: return WACS_D_HLINE;
    case frame::kDV: return WACS_D_VLINE;
    case frame::kDTL: return WACS_D_ULCORNER;
    case frame::kDTR: return WACS_D_URCORNER;
    case frame::kDBL: return WACS_D_LLCORNER;
    case frame::kDBR: return WACS_D_LRCORNER;
    case frame::kDVSL: return WACS_LTEE;
    case frame::kDVSR: return WACS_RTEE;
    case U'\u2592': return WACS_CKBOARD;
    default: return nullptr;
  }
}

// The write ends of the size-change pipes, for the signal handler (one
// screen at a time), and the handler that was there before it (the
// terminal library's own, which it still calls).
std::atomic<int> g_resize_write{-1};
std::atomic<int> g_watch_write{-1};
struct sigaction g_previous_winch;

void Notify(const std::atomic<int>& fd) {
  const int out = fd.load();
  // A full pipe already says that the size changed.
  if (out >= 0 && write(out, "w", 1) < 0) {
  }
}

void OnWindowChange(int signal_number, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  if ((g_previous_winch.sa_flags & SA_SIGINFO) != 0) {
    if (g_previous_winch.sa_sigaction != nullptr) g_previous_winch.sa_sigaction(signal_number, info, context);
  } else if (g_previous_winch.sa_handler != SIG_DFL && g_previous_winch.sa_handler != SIG_IGN) {
    g_previous_winch.sa_handler(signal_number);
  }
  Notify(g_resize_write);
  Notify(g_watch_write);
  errno = saved_errno;
}

bool OpenPipe(int (&fds)[2]) { return pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0; }

void ClosePipe(int (&fds)[2]) {
  for (int& fd : fds) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace

bool CursesScreen::Start(std::string& error) {
  if (started_) return true;
  std::setlocale(LC_CTYPE, "");
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0') {
    error = "TERM is not set";
    return false;
  }
  if (!OpenPipe(resize_pipe_) || !OpenPipe(watch_pipe_)) {
    error = std::string("no pipe for the terminal's size changes: ") + std::strerror(errno);
    ClosePipe(resize_pipe_);
    ClosePipe(watch_pipe_);
    return false;
  }
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) {
    error = std::string("the terminal type ") + term + " is unknown";
    ClosePipe(resize_pipe_);
    ClosePipe(watch_pipe_);
    return false;
  }
  set_term(screen);
  screen_ = screen;
  utf8_ = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  intrflush(stdscr, FALSE);
  set_escdelay(25);
  curs_set(0);
  if (has_colors()) {
    start_color();
    colours_ = COLOR_PAIRS > 64;
    sixteen_ = COLORS >= 16 && COLOR_PAIRS > 256;
  }
  // After the terminal library has put its own handler in place: ours
  // calls it, then wakes whoever waits. Interrupted calls of the plug-in's
  // threads go on as if nothing had happened.
  g_resize_write = resize_pipe_[1];
  g_watch_write = watch_pipe_[1];
  struct sigaction action {};
  action.sa_sigaction = OnWindowChange;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGWINCH, &action, &g_previous_winch);
  started_ = true;
  return true;
}

void CursesScreen::Stop() {
  if (!started_) return;
  sigaction(SIGWINCH, &g_previous_winch, nullptr);
  g_resize_write = -1;
  g_watch_write = -1;
  ClosePipe(resize_pipe_);
  ClosePipe(watch_pipe_);
  endwin();
  delscreen(static_cast<SCREEN*>(screen_));
  screen_ = nullptr;
  started_ = false;
}

void CursesScreen::Drain(int fd) {
  char buffer[64];
  while (fd >= 0 && read(fd, buffer, sizeof buffer) > 0) {
  }
}

void CursesScreen::WakeWatcher() {
  if (watch_pipe_[1] >= 0 && write(watch_pipe_[1], "s", 1) < 0) {
  }
}

bool CursesScreen::FollowSize() {
  if (!started_) return false;
  struct winsize size {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) return false;
  if (size.ws_row == getmaxy(stdscr) && size.ws_col == getmaxx(stdscr)) return false;
  resizeterm(size.ws_row, size.ws_col);
  clearok(curscr, TRUE);
  return true;
}

int CursesScreen::Width() const { return started_ ? getmaxx(stdscr) : 0; }

int CursesScreen::Height() const { return started_ ? getmaxy(stdscr) : 0; }

short CursesScreen::Pair(int fg, int bg) {
  const int index = sixteen_ ? fg + 16 * bg : (fg & 7) + 8 * (bg & 7);
  const short pair = static_cast<short>(1 + index);
  if (!pair_ready_[index]) {
    init_pair(pair, TerminalColour(fg, sixteen_), TerminalColour(bg, sixteen_));
    pair_ready_[index] = true;
  }
  return pair;
}

void CursesScreen::Show(const Canvas& canvas) {
  if (!started_) return;
  const int height = std::min(Height(), canvas.Height()), width = std::min(Width(), canvas.Width());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Cell& cell = canvas.At(x, y);
      const int fg = cell.color & 15, bg = (cell.color >> 4) & 15;
      attr_t attrs = A_NORMAL;
      short pair = 0;
      if (colours_) {
        pair = Pair(fg, bg);
        if (!sixteen_ && (fg & 8)) attrs |= A_BOLD;
      } else {
        if (bg != 0) attrs |= A_REVERSE;
        if (fg & 8) attrs |= A_BOLD;
      }
      cchar_t out;
      const cchar_t* line = utf8_ ? nullptr : LineCharacter(cell.ch);
      if (line != nullptr) {
        wchar_t wide[CCHARW_MAX + 1] = {};
        attr_t line_attrs = 0;
        short unused = 0;
        getcchar(line, wide, &line_attrs, &unused, nullptr);
        setcchar(&out, wide, attrs | line_attrs, pair, nullptr);
      } else {
        // Only characters one cell wide that this locale can show.
        const auto ch = static_cast<wchar_t>(cell.ch);
        wchar_t wide[2] = {wcwidth(ch) == 1 ? ch : L'?', 0};
        setcchar(&out, wide, attrs, pair, nullptr);
      }
      mvwadd_wch(stdscr, y, x, &out);
    }
  }
  if (canvas.CursorVisible() && canvas.CursorX() < width && canvas.CursorY() < height) {
    curs_set(1);
    wmove(stdscr, canvas.CursorY(), canvas.CursorX());
  } else {
    curs_set(0);
  }
  wnoutrefresh(stdscr);
  doupdate();
}

void CursesScreen::Suspend() {
  if (!started_) return;
  def_prog_mode();
  endwin();
}

void CursesScreen::Resume() {
  if (!started_) return;
  reset_prog_mode();
  clearok(curscr, TRUE);
}
