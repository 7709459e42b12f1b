// The terminal itself: taking it over and giving it back, its size, and
// copying a Canvas to it. With key_input.cpp the only code that talks to
// the terminal library.
#pragma once

#include <string>

#include "host/terminal/canvas.h"

class CursesScreen {
 public:
  CursesScreen() = default;
  ~CursesScreen() { Stop(); }
  CursesScreen(const CursesScreen&) = delete;
  CursesScreen& operator=(const CursesScreen&) = delete;

  // Takes over the terminal on standard input and output: full-screen,
  // keys one at a time without echo, colours when it has them. Sets only
  // the character-type locale from the environment (numbers and dates the
  // plug-in prints stay in the "C" form). Returns false, with `error` set,
  // when the terminal cannot be used (no TERM, an unknown one, ...).
  bool Start(std::string& error);
  // Gives the terminal back as it was. Safe to call more than once.
  void Stop();

  int Width() const;
  int Height() const;
  // Whether the terminal shows UTF-8 (else box lines use its own line set
  // and characters it lacks show as '?').
  bool Utf8() const { return utf8_; }

  // Makes the terminal show `canvas` (cells outside the terminal are left
  // out), with the cursor where the canvas has it.
  void Show(const Canvas& canvas);
  // Hands the terminal to another program (an editor) and takes it back;
  // the next Show repaints every cell.
  void Suspend();
  void Resume();

  // Size changes. Each change of the terminal's size (SIGWINCH, whichever
  // thread it reaches) makes both descriptors readable: ResizeFd for the
  // loop that waits for keys, WatchFd for a thread that repaints while no
  // such loop runs. Drain one after it has woken its reader.
  int ResizeFd() const { return resize_pipe_[0]; }
  int WatchFd() const { return watch_pipe_[0]; }
  static void Drain(int fd);
  // Makes WatchFd readable without a size change (to stop its thread).
  void WakeWatcher();
  // Takes on the terminal's size as it is now; true when it changed (the
  // next Show then repaints every cell).
  bool FollowSize();

 private:
  short Pair(int fg, int bg);

  bool started_ = false;
  bool utf8_ = false;
  bool colours_ = false;
  bool sixteen_ = false;    // 16 colours: bright ones without bold
  void* screen_ = nullptr;  // the terminal library's SCREEN
  bool pair_ready_[256] = {};
  int resize_pipe_[2] = {-1, -1};
  int watch_pipe_[2] = {-1, -1};
};
