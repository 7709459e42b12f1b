// Keys from the terminal: the one place where the terminal UI reads input.
// Every key comes through ReadKey as a Key that names it by its Windows
// virtual-key code where it has one, so that the plug-in's break keys
// (F4 115, Insert 45, Delete 46, ...) compare directly.
#pragma once

// Virtual-key codes of the keys the terminal UI knows.
namespace vk {
constexpr int kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kEscape = 0x1B, kSpace = 0x20;
constexpr int kPrior = 0x21, kNext = 0x22, kEnd = 0x23, kHome = 0x24;
constexpr int kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28;
constexpr int kInsert = 0x2D, kDelete = 0x2E;
constexpr int kF1 = 0x70, kF3 = 0x72, kF4 = 0x73, kF10 = 0x79, kF12 = 0x7B;
}  // namespace vk

struct Key {
  enum class Kind {
    None,     // nothing within the time allowed, or a key the UI ignores
    Char,     // a character was typed: `ch`
    Command,  // a key without a character: Enter, Esc, Tab, arrows, F-keys, ...
    Resize,   // the terminal changed its size
  };
  Kind kind = Kind::None;
  // The virtual-key code: for commands, and for letters ('A'..'Z'), digits
  // and the space bar; 0 for other characters.
  int vk = 0;
  char32_t ch = 0;     // Char: the character typed
  bool shift = false;  // Shift-Tab
};

// Teaches the terminal library the Home and End sequences that terminals
// send besides the ones their description names (tmux and the Linux
// console send ESC [1~ and ESC [4~ where xterm's description expects
// ESC OH and ESC OF), so that they never arrive as an Esc and letters.
// Call once after the terminal has been started.
void PrepareKeys();

// Waits up to `timeout_ms` milliseconds (forever when negative) for a key.
// Bytes on `resize_fd` (a non-blocking descriptor that becomes readable
// when the terminal changes its size; -1 for none) end the wait with a
// Resize, the bytes read. The terminal must have been started (curses_screen.h).
Key ReadKey(int timeout_ms, int resize_fd);

// One result of the terminal library's wide-character read as a Key:
// `status` as returned (OK, KEY_CODE_YES or ERR) and the code it stored.
Key TranslateKey(int status, unsigned code);
