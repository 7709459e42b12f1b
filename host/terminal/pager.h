// The text viewer's content and scrolling, apart from the screen; the help
// window scrolls the same way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A file's bytes as display lines: LF or CR LF ends a line (no empty line
// after a final LF), a tab goes to the next multiple of 8 columns.
std::vector<std::string> SplitLines(std::string_view content);

// A window of `page` rows over `lines` lines and `width` columns over the
// longest line, moved by the viewer's keys; never scrolls past the end.
class ScrollModel {
 public:
  // Sizes; keeps the position where it still fits.
  void Set(int lines, int longest, int page, int width);
  int Top() const { return top_; }
  int Left() const { return left_; }

  void Up() { Move(top_ - 1); }
  void Down() { Move(top_ + 1); }
  void PageUp() { Move(top_ - page_ + 1); }
  void PageDown() { Move(top_ + page_ - 1); }
  void Home() { Move(0), left_ = 0; }
  void End() { Move(lines_); }
  void Left(int step);
  void Right(int step);

 private:
  void Move(int top);

  int lines_ = 0, longest_ = 0, page_ = 1, width_ = 1;
  int top_ = 0, left_ = 0;
};
