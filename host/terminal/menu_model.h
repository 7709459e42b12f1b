// What a host menu does with its keys, apart from the screen: hot keys
// from "&", the cursor row and the scroll position over rows of which only
// a page fits on the screen.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A row text with its "&" marks taken out: "&1. Office" shows "1. Office"
// with hot key '1' at index 0. "&&" shows one "&"; only the first mark
// names the hot key, a lone "&" at the end is dropped.
struct HotKeyText {
  std::string text;    // OEM, as shown
  int hot_index = -1;  // index in `text` of the hot-key character, -1 none
  char HotKey() const { return hot_index >= 0 ? text[static_cast<size_t>(hot_index)] : '\0'; }
};
HotKeyText ParseHotKey(std::string_view raw);

class MenuModel {
 public:
  struct Row {
    HotKeyText label;
    bool checked = false;
    bool separator = false;
  };

  // The cursor starts on `preferred` when that row can be chosen, else on
  // the first row that can (separators cannot); -1 when none can.
  MenuModel(std::vector<Row> rows, int preferred);

  const std::vector<Row>& Rows() const { return rows_; }
  int Count() const { return static_cast<int>(rows_.size()); }
  int Cursor() const { return cursor_; }
  int Top() const { return top_; }
  int PageHeight() const { return page_; }

  // The number of rows on the screen (at least 1); scrolls so that the
  // cursor row stays on it.
  void SetPageHeight(int rows);

  // Cursor keys. Up and Down wrap around at the ends; the others stop.
  void Up();
  void Down();
  void PageUp();
  void PageDown();
  void Home();
  void End();
  // Puts the cursor on `row` if it can be chosen.
  void MoveTo(int row);

  // The rows whose hot key is `key` (ASCII letters without regard to case),
  // in order.
  std::vector<int> HotKeyRows(char key) const;

 private:
  bool Selectable(int row) const { return row >= 0 && row < Count() && !rows_[static_cast<size_t>(row)].separator; }
  // The nearest row that can be chosen from `row` going in `step`; -1 none.
  int Seek(int row, int step) const;
  void Show();

  std::vector<Row> rows_;
  int cursor_ = -1;
  int top_ = 0;
  int page_ = 1;
};
