// Terminal keys as virtual keys (see key_input.h).
#include "host/terminal/key_input.h"

#include <curses.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

Key Command(int code, bool shift = false) {
  Key k;
  k.kind = Key::Kind::Command;
  k.vk = code;
  k.shift = shift;
  return k;
}

}  // namespace

Key TranslateKey(int status, unsigned code) {
  Key none;
  if (status == KEY_CODE_YES) {
    const int key = static_cast<int>(code);
    if (key >= KEY_F(1) && key <= KEY_F(12)) return Command(vk::kF1 + key - KEY_F(1));
    switch (key) {
      case KEY_UP: return Command(vk::kUp);
      case KEY_DOWN: return Command(vk::kDown);
      case KEY_LEFT: return Command(vk::kLeft);
      case KEY_RIGHT: return Command(vk::kRight);
      case KEY_HOME:
      case KEY_FIND:
      case KEY_A1: return Command(vk::kHome);
      case KEY_END:
      case KEY_SELECT:
      case KEY_C1: return Command(vk::kEnd);
      case KEY_PPAGE:
      case KEY_A3: return Command(vk::kPrior);
      case KEY_NPAGE:
      case KEY_C3: return Command(vk::kNext);
      case KEY_IC: return Command(vk::kInsert);
      case KEY_DC: return Command(vk::kDelete);
      case KEY_BACKSPACE: return Command(vk::kBack);
      case KEY_ENTER: return Command(vk::kReturn);
      case KEY_BTAB: return Command(vk::kTab, true);
      case KEY_RESIZE: {
        Key k;
        k.kind = Key::Kind::Resize;
        return k;
      }
      default: return none;
    }
  }
  if (status != OK) return none;
  switch (code) {
    case 27: return Command(vk::kEscape);
    case '\n':
    case '\r': return Command(vk::kReturn);
    case '\t': return Command(vk::kTab);
    case 8:
    case 127: return Command(vk::kBack);
    default: break;
  }
  if (code < 32 || (code >= 0x80 && code < 0xA0) || code > 0x10FFFF) return none;
  Key k;
  k.kind = Key::Kind::Char;
  k.ch = static_cast<char32_t>(code);
  if (code >= 'a' && code <= 'z') k.vk = static_cast<int>(code - 'a' + 'A');
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9') || code == ' ') k.vk = static_cast<int>(code);
  return k;
}

void PrepareKeys() {
  static const struct {
    const char* sequence;
    int key;
  } kExtra[] = {
      {"\033[1~", KEY_HOME}, {"\033[7~", KEY_HOME}, {"\033[H", KEY_HOME}, {"\033OH", KEY_HOME},
      {"\033[4~", KEY_END},  {"\033[8~", KEY_END},  {"\033[F", KEY_END},  {"\033OF", KEY_END},
  };
  for (const auto& extra : kExtra)
    if (key_defined(extra.sequence) == 0) define_key(extra.sequence, extra.key);
}

Key ReadKey(int timeout_ms, int resize_fd) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  // The terminal library is only asked when input is there (or what it
  // holds back from an earlier read), so that the wait itself can also end
  // on a size change, whichever thread the signal reached.
  wtimeout(stdscr, 0);
  for (;;) {
    wint_t code = 0;
    const int status = wget_wch(stdscr, &code);
    if (status != ERR) return TranslateKey(status, static_cast<unsigned>(code));
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait_ms = static_cast<int>(std::max<long long>(left, 0));
    }
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {resize_fd, POLLIN, 0}};
    const int ready = poll(fds, resize_fd >= 0 ? 2 : 1, wait_ms);
    if (ready < 0 && errno != EINTR) return Key{};
    if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
      char bytes[64];  // the descriptor does not block; several changes are one
      if (read(resize_fd, bytes, sizeof bytes) < 0) {
      }
      Key resized;
      resized.kind = Key::Kind::Resize;
      return resized;
    }
    if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (fds[0].revents & POLLIN) == 0)
      return Key{};  // the terminal is gone: nothing will come
    if (ready == 0) return Key{};
  }
}
