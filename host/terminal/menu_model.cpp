// Menu keys and scrolling (see menu_model.h).
#include "host/terminal/menu_model.h"

#include <algorithm>

namespace {

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

HotKeyText ParseHotKey(std::string_view raw) {
  HotKeyText out;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '&') {
      out.text += raw[i];
      continue;
    }
    if (i + 1 >= raw.size()) break;
    if (raw[i + 1] == '&') {
      out.text += '&';
      ++i;
      continue;
    }
    if (out.hot_index < 0) out.hot_index = static_cast<int>(out.text.size());
  }
  return out;
}

MenuModel::MenuModel(std::vector<Row> rows, int preferred) : rows_(std::move(rows)) {
  cursor_ = Selectable(preferred) ? preferred : Seek(0, 1);
  Show();
}

int MenuModel::Seek(int row, int step) const {
  for (int r = row; r >= 0 && r < Count(); r += step)
    if (Selectable(r)) return r;
  return -1;
}

void MenuModel::Show() {
  const int max_top = std::max(Count() - page_, 0);
  if (cursor_ >= 0) {
    if (cursor_ < top_) top_ = cursor_;
    if (cursor_ >= top_ + page_) top_ = cursor_ - page_ + 1;
  }
  top_ = std::clamp(top_, 0, max_top);
}

void MenuModel::SetPageHeight(int rows) {
  page_ = std::max(rows, 1);
  Show();
}

void MenuModel::Up() {
  if (cursor_ < 0) return;
  int r = Seek(cursor_ - 1, -1);
  if (r < 0) r = Seek(Count() - 1, -1);
  cursor_ = r;
  Show();
}

void MenuModel::Down() {
  if (cursor_ < 0) return;
  int r = Seek(cursor_ + 1, 1);
  if (r < 0) r = Seek(0, 1);
  cursor_ = r;
  Show();
}

void MenuModel::PageUp() {
  if (cursor_ < 0) return;
  const int target = std::max(cursor_ - (page_ - 1), 0);
  int r = Seek(target, -1);
  if (r < 0) r = Seek(target, 1);
  cursor_ = r;
  top_ -= page_ - 1;
  Show();
}

void MenuModel::PageDown() {
  if (cursor_ < 0) return;
  const int target = std::min(cursor_ + (page_ - 1), Count() - 1);
  int r = Seek(target, 1);
  if (r < 0) r = Seek(target, -1);
  cursor_ = r;
  top_ += page_ - 1;
  Show();
}

void MenuModel::Home() {
  if (cursor_ < 0) return;
  cursor_ = Seek(0, 1);
  top_ = 0;
  Show();
}

void MenuModel::End() {
  if (cursor_ < 0) return;
  cursor_ = Seek(Count() - 1, -1);
  top_ = Count();
  Show();
}

void MenuModel::MoveTo(int row) {
  if (!Selectable(row)) return;
  cursor_ = row;
  Show();
}

std::vector<int> MenuModel::HotKeyRows(char key) const {
  std::vector<int> out;
  if (key == '\0') return out;
  for (int r = 0; r < Count(); ++r) {
    const Row& row = rows_[static_cast<size_t>(r)];
    if (!row.separator && row.label.hot_index >= 0 && FoldCase(row.label.HotKey()) == FoldCase(key)) out.push_back(r);
  }
  return out;
}
