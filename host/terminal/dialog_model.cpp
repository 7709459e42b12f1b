// Dialog items: placement, focus, groups, editing (see dialog_model.h).
#include "host/terminal/dialog_model.h"

#include <algorithm>
#include <cstring>

std::string_view ItemText(const HostDialogItem& item) {
  const void* end = std::memchr(item.Data, 0, sizeof item.Data);
  const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - item.Data) : sizeof item.Data;
  return std::string_view(item.Data, length);
}

ItemRect ItemBounds(const HostDialogItem& item, int width, int height) {
  ItemRect r{item.X1, item.Y1, item.X2, item.Y1};
  const int length = static_cast<int>(ItemText(item).size());
  int default_x2 = item.X1;
  switch (item.Type) {
    case DI_TEXT: default_x2 = item.X1 + std::max(length, 1) - 1; break;
    case DI_EDIT:
    case DI_PSWEDIT: default_x2 = std::max(width - 2, item.X1); break;
    case DI_BUTTON: default_x2 = item.X1 + length + 1; break;
    case DI_CHECKBOX:
    case DI_RADIOBUTTON: default_x2 = item.X1 + length + 3; break;
    case DI_DOUBLEBOX:
      default_x2 = std::max(width - 1, item.X1);
      r.y2 = item.Y2 != 0 && item.Y2 >= item.Y1 ? item.Y2 : std::max(height - 1, item.Y1);
      break;
    default: break;
  }
  if (item.X2 == 0 || item.X2 < item.X1) r.x2 = default_x2;
  // Buttons, check boxes and radio buttons are as wide as what they show.
  if (item.Type == DI_BUTTON || item.Type == DI_CHECKBOX || item.Type == DI_RADIOBUTTON) r.x2 = default_x2;
  return r;
}

bool TakesFocus(const HostDialogItem& item) {
  switch (item.Type) {
    case DI_EDIT:
    case DI_PSWEDIT:
    case DI_BUTTON:
    case DI_CHECKBOX:
    case DI_RADIOBUTTON: return true;
    default: return false;
  }
}

int InitialFocus(const HostDialogItem* items, int count) {
  for (int i = 0; i < count; ++i) {
    if (items[i].Focus == 0) continue;
    if (TakesFocus(items[i])) return i;
    // A label asked for the focus: the field after it takes it.
    for (int k = i + 1; k < count; ++k)
      if (TakesFocus(items[k])) return k;
    break;
  }
  for (int i = 0; i < count; ++i)
    if (TakesFocus(items[i])) return i;
  return -1;
}

int NextFocus(const HostDialogItem* items, int count, int from, int step) {
  if (count <= 0) return -1;
  if (from < 0 || from >= count) from = step > 0 ? count - 1 : 0;
  for (int n = 1; n <= count; ++n) {
    const int i = ((from + step * n) % count + count) % count;
    if (TakesFocus(items[i])) return i;
  }
  return -1;
}

int DefaultButton(const HostDialogItem* items, int count) {
  for (int i = 0; i < count; ++i)
    if (items[i].DefaultButton != 0) return i;
  return -1;
}

int EnterResult(const HostDialogItem* items, int count, int focus) {
  if (focus >= 0 && focus < count && items[focus].Type == DI_BUTTON) return focus;
  const int default_button = DefaultButton(items, count);
  if (default_button >= 0) return default_button;
  return focus >= 0 && focus < count ? focus : -1;
}

void ToggleItem(HostDialogItem* items, int count, int index) {
  if (index < 0 || index >= count) return;
  HostDialogItem& item = items[index];
  if (item.Type == DI_CHECKBOX) {
    item.Selected = item.Selected != 0 ? 0 : 1;
    return;
  }
  if (item.Type != DI_RADIOBUTTON) return;
  item.Selected = 1;
  int first = index;
  while (first > 0 && (items[first].Flags & DIF_GROUP) == 0 && items[first - 1].Type == DI_RADIOBUTTON) --first;
  for (int i = first; i < count && items[i].Type == DI_RADIOBUTTON; ++i) {
    if (i > first && (items[i].Flags & DIF_GROUP) != 0) break;
    if (i != index) items[i].Selected = 0;
  }
}

int DialogOrigin(int wanted, int size, int screen, int focus_from, int focus_to) {
  if (size <= screen) {
    const int origin = wanted < 0 ? (screen - size) / 2 : wanted;
    return std::clamp(origin, 0, screen - size);
  }
  int origin = 0;
  if (focus_to + origin >= screen) origin = screen - 1 - focus_to;
  if (focus_from + origin < 0) origin = -focus_from;
  return origin;
}

EditField::EditField(std::string_view text)
    : text_(text.substr(0, std::min(text.size(), kMaxLength))), cursor_(text_.size()) {}

bool EditField::Insert(char c) {
  if (text_.size() >= kMaxLength) return false;
  text_.insert(cursor_, 1, c);
  ++cursor_;
  return true;
}

void EditField::Delete() {
  if (cursor_ < text_.size()) text_.erase(cursor_, 1);
}

void EditField::Backspace() {
  if (cursor_ == 0) return;
  text_.erase(--cursor_, 1);
}

void EditField::Left() {
  if (cursor_ > 0) --cursor_;
}

void EditField::Right() {
  if (cursor_ < text_.size()) ++cursor_;
}

void EditField::Home() { cursor_ = 0; }

void EditField::End() { cursor_ = text_.size(); }

size_t EditField::Scroll(int width) {
  const size_t w = static_cast<size_t>(std::max(width, 1));
  if (cursor_ < offset_) offset_ = cursor_;
  if (cursor_ >= offset_ + w) offset_ = cursor_ - w + 1;
  // No empty room after the text while part of it is scrolled off.
  if (offset_ > 0 && text_.size() < offset_ + w) offset_ = text_.size() + 1 > w ? text_.size() + 1 - w : 0;
  return offset_;
}

std::string_view EditField::Visible(int width) const {
  if (offset_ >= text_.size()) return {};
  return std::string_view(text_).substr(offset_, static_cast<size_t>(std::max(width, 0)));
}
