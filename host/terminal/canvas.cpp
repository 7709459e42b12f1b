// The cell grid (see canvas.h).
#include "host/terminal/canvas.h"

#include <algorithm>

#include "host/terminal/oem_codec.h"

void Canvas::Resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  std::vector<Cell> cells(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < std::min(height, height_); ++y)
    for (int x = 0; x < std::min(width, width_); ++x)
      cells[static_cast<size_t>(y * width + x)] = cells_[static_cast<size_t>(y * width_ + x)];
  cells_ = std::move(cells);
  width_ = width;
  height_ = height;
}

const Cell& Canvas::At(int x, int y) const {
  static const Cell kBlank;
  return Contains(x, y) ? cells_[static_cast<size_t>(y * width_ + x)] : kBlank;
}

void Canvas::Put(int x, int y, char32_t ch, uint8_t color) {
  if (!Contains(x, y)) return;
  Cell& cell = cells_[static_cast<size_t>(y * width_ + x)];
  cell.ch = ch;
  cell.color = color;
}

void Canvas::Fill(int x1, int y1, int x2, int y2, char32_t ch, uint8_t color) {
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, width_ - 1);
  y2 = std::min(y2, height_ - 1);
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) Put(x, y, ch, color);
}

void Canvas::Frame(int x1, int y1, int x2, int y2, uint8_t color, bool double_line) {
  if (x2 < x1 || y2 < y1) return;
  using namespace frame;
  const char32_t h = double_line ? kDH : kH, v = double_line ? kDV : kV;
  for (int x = x1 + 1; x < x2; ++x) {
    Put(x, y1, h, color);
    Put(x, y2, h, color);
  }
  for (int y = y1 + 1; y < y2; ++y) {
    Put(x1, y, v, color);
    Put(x2, y, v, color);
  }
  Put(x1, y1, double_line ? kDTL : kTL, color);
  Put(x2, y1, double_line ? kDTR : kTR, color);
  Put(x1, y2, double_line ? kDBL : kBL, color);
  Put(x2, y2, double_line ? kDBR : kBR, color);
}

int Canvas::Write(int x, int y, std::u32string_view text, uint8_t color, int max_width) {
  int n = static_cast<int>(text.size());
  if (max_width >= 0) n = std::min(n, max_width);
  for (int i = 0; i < n; ++i) Put(x + i, y, text[static_cast<size_t>(i)], color);
  return n;
}

std::string Canvas::RowText(int y) const {
  std::string out;
  for (int x = 0; x < width_; ++x) out += EncodeUtf8(At(x, y).ch);
  return out;
}
