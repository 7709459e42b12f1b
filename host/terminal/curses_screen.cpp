// The terminal through ncurses (see curses_screen.h).
#include "host/terminal/curses_screen.h"

#include <curses.h>
#include <langinfo.h>

#include <algorithm>
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

}  // namespace

bool CursesScreen::Start(std::string& error) {
  if (started_) return true;
  std::setlocale(LC_CTYPE, "");
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0') {
    error = "TERM is not set";
    return false;
  }
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) {
    error = std::string("the terminal type ") + term + " is unknown";
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
  started_ = true;
  return true;
}

void CursesScreen::Stop() {
  if (!started_) return;
  endwin();
  delscreen(static_cast<SCREEN*>(screen_));
  screen_ = nullptr;
  started_ = false;
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
