// Viewer lines and scrolling (see pager.h).
#include "host/terminal/pager.h"

#include <algorithm>

#include "host/text_file.h"

std::vector<std::string> SplitLines(std::string_view content) {
  std::vector<std::string> lines;
  for (const std::string& raw : TextLines(content)) {
    std::string line;
    for (char c : raw) {
      if (c == '\t') {
        line.append(8 - line.size() % 8, ' ');
      } else {
        line += c;
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

void ScrollModel::Set(int lines, int longest, int page, int width) {
  lines_ = std::max(lines, 0);
  longest_ = std::max(longest, 0);
  page_ = std::max(page, 1);
  width_ = std::max(width, 1);
  Move(top_);
  left_ = std::clamp(left_, 0, std::max(longest_ - width_, 0));
}

void ScrollModel::Move(int top) { top_ = std::clamp(top, 0, std::max(lines_ - page_, 0)); }

void ScrollModel::Left(int step) { left_ = std::max(left_ - step, 0); }

void ScrollModel::Right(int step) { left_ = std::clamp(left_ + step, 0, std::max(longest_ - width_, 0)); }
