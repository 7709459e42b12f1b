// The terminal UI's picture of the screen: a grid of cells, each one
// character and one console colour, drawn by the painters (painters.h) and
// copied to the terminal by the curses module (curses_screen.h).
//
// Colours are console attribute bytes as the plug-in passes them to Text:
// the low four bits the foreground, the high four the background
// (0 black, 1 blue, 2 green, 3 cyan, 4 red, 5 magenta, 6 brown, 7 light
// grey, +8 bright). Every drawing call clips to the grid, so any position,
// however far outside, is safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Cell {
  char32_t ch = U' ';
  uint8_t color = 0x07;
  bool operator==(const Cell&) const = default;
};

// Frame characters (single and double lines).
namespace frame {
constexpr char32_t kH = U'\u2500', kV = U'\u2502', kTL = U'\u250C', kTR = U'\u2510', kBL = U'\u2514', kBR = U'\u2518';
constexpr char32_t kDH = U'\u2550', kDV = U'\u2551', kDTL = U'\u2554', kDTR = U'\u2557', kDBL = U'\u255A',
                   kDBR = U'\u255D';
// A single line joining a double frame: the separator of a message box.
constexpr char32_t kDVSL = U'\u255F', kDVSR = U'\u2562';
}  // namespace frame

class Canvas {
 public:
  Canvas() = default;
  Canvas(int width, int height) { Resize(width, height); }

  // New size; cells that still fit keep their content, new ones are blank.
  void Resize(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  // The cell at x, y; a blank cell outside the grid.
  const Cell& At(int x, int y) const;
  void Put(int x, int y, char32_t ch, uint8_t color);
  void Put(int x, int y, const Cell& cell) { Put(x, y, cell.ch, cell.color); }
  // Fills the rectangle with corners (x1, y1) and (x2, y2), inclusive.
  void Fill(int x1, int y1, int x2, int y2, char32_t ch, uint8_t color);
  // A frame along the rectangle's edge, double-lined or single.
  void Frame(int x1, int y1, int x2, int y2, uint8_t color, bool double_line);
  // `text` from x on row y, at most `max_width` cells (all when negative).
  // Returns the number of cells written, clipped or not.
  int Write(int x, int y, std::u32string_view text, uint8_t color, int max_width = -1);

  // The terminal cursor: shown at x, y when `visible` (an edit field).
  void SetCursor(int x, int y) { cursor_x_ = x, cursor_y_ = y, cursor_visible_ = true; }
  void HideCursor() { cursor_visible_ = false; }
  bool CursorVisible() const { return cursor_visible_ && Contains(cursor_x_, cursor_y_); }
  int CursorX() const { return cursor_x_; }
  int CursorY() const { return cursor_y_; }

  // Row y as UTF-8 text, with trailing blanks kept (for tests and dumps).
  std::string RowText(int y) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<Cell> cells_;
  int cursor_x_ = 0, cursor_y_ = 0;
  bool cursor_visible_ = false;
};
