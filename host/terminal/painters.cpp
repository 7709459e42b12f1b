// The host's screens painted onto a Canvas (see painters.h).
#include "host/terminal/painters.h"

#include <algorithm>

#include "host/terminal/help_file.h"

namespace {

// The darker cells right of and below a box.
void Shadow(Canvas& canvas, const BoxRect& r) {
  auto darken = [&](int x, int y) {
    if (canvas.Contains(x, y)) canvas.Put(x, y, canvas.At(x, y).ch, color::kShadow);
  };
  for (int y = r.y1 + 1; y <= r.y2 + 1; ++y) {
    darken(r.x2 + 1, y);
    darken(r.x2 + 2, y);
  }
  for (int x = r.x1 + 2; x <= r.x2; ++x) darken(x, r.y2 + 1);
}

// A title or bottom text without the blanks it may carry at either end (the
// plug-in's texts often end in one, meant for a name joined after them).
std::u32string Trimmed(std::u32string text) {
  const size_t first = text.find_first_not_of(U' ');
  if (first == std::u32string::npos) return {};
  return text.substr(first, text.find_last_not_of(U' ') - first + 1);
}

// `text` centred in a frame's edge row between x1 and x2, with one blank on
// either side.
void EdgeText(Canvas& canvas, int x1, int x2, int y, const std::u32string& untrimmed, uint8_t colour) {
  const std::u32string text = Trimmed(untrimmed);
  if (text.empty()) return;
  const int room = x2 - x1 - 3;
  if (room <= 0) return;
  const int length = std::min(static_cast<int>(text.size()), room);
  const int x = x1 + (x2 - x1 + 1 - (length + 2)) / 2;
  canvas.Put(x, y, U' ', colour);
  canvas.Write(x + 1, y, text, colour, length);
  canvas.Put(x + 1 + length, y, U' ', colour);
}

// A separator row joining a double frame's sides.
void SeparatorRow(Canvas& canvas, int x1, int x2, int y, uint8_t colour) {
  canvas.Put(x1, y, frame::kDVSL, colour);
  for (int x = x1 + 1; x < x2; ++x) canvas.Put(x, y, frame::kH, colour);
  canvas.Put(x2, y, frame::kDVSR, colour);
}

// The start of a box `size` cells long on a canvas `screen` long, centred
// when `wanted` is negative, kept inside the canvas where it fits.
int Place(int wanted, int size, int screen) {
  const int start = wanted < 0 ? (screen - size) / 2 : wanted;
  return std::clamp(start, 0, std::max(screen - size, 0));
}

// The cells an edge text takes, its end blanks left out.
int EdgeLength(const OemCodec& codec, const char* text) {
  return text ? static_cast<int>(Trimmed(codec.Glyphs(text)).size()) : 0;
}

}  // namespace

std::u32string Ascii(std::string_view text) { return std::u32string(text.begin(), text.end()); }

void PaintBackground(Canvas& canvas) {
  const int w = canvas.Width(), h = canvas.Height();
  canvas.Fill(0, 0, w - 1, h - 1, U' ', color::kPanel);
  canvas.Fill(0, 0, w - 1, 0, U' ', color::kTitleBar);
  const std::u32string title = Ascii("kelhost");
  canvas.Write((w - static_cast<int>(title.size())) / 2, 0, title, color::kTitleBar);
  if (h < 4) return;
  const int middle = w / 2;
  canvas.Frame(0, 1, middle - 1, h - 2, color::kPanel, true);
  canvas.Frame(middle, 1, w - 1, h - 2, color::kPanel, true);
  EdgeText(canvas, 0, middle - 1, 1, Ascii("Z:\\"), color::kPanel);
  EdgeText(canvas, middle, w - 1, 1, Ascii("Plugins"), color::kPanel);
  canvas.Fill(0, h - 1, w - 1, h - 1, U' ', color::kKeyBar);
  canvas.Write(1, h - 1, Ascii("F1 help in menus and dialogs   Esc closes"), color::kKeyBar);
}

BoxRect PaintMessage(Canvas& canvas, const OemCodec& codec, unsigned flags, const std::vector<std::string>& items,
                     int buttons, int focused) {
  const int w = canvas.Width(), h = canvas.Height();
  const bool warning = (flags & FMSG_WARNING) != 0;
  const uint8_t body = warning ? color::kWarning : color::kMessage;
  const uint8_t focus = warning ? color::kWarningButton : color::kMessageButton;
  const int count = static_cast<int>(items.size());
  buttons = std::clamp(buttons, 0, std::max(count - 1, 0));
  const std::u32string title = count > 0 ? Trimmed(codec.Glyphs(items[0])) : std::u32string();

  // Lines wrapped to what the canvas allows; a separator stays one row.
  const int max_inner = std::max(w - 6, 1);
  std::vector<std::string> lines;
  std::vector<bool> separator;
  for (int i = 1; i < count - buttons; ++i) {
    const std::string& line = items[static_cast<size_t>(i)];
    if (line == kMessageSeparator) {
      lines.emplace_back();
      separator.push_back(true);
      continue;
    }
    for (std::string& part : WrapLines({line}, max_inner)) {
      lines.push_back(std::move(part));
      separator.push_back(false);
    }
  }
  std::vector<std::u32string> labels;
  int row_length = 0;
  for (int b = count - buttons; b < count; ++b) {
    labels.push_back(Ascii("[ ") + codec.Glyphs(items[static_cast<size_t>(b)]) + Ascii(" ]"));
    row_length += static_cast<int>(labels.back().size()) + (labels.size() > 1 ? 2 : 0);
  }

  int inner = std::max(static_cast<int>(title.size()) + 2, row_length);
  for (const std::string& line : lines) inner = std::max(inner, static_cast<int>(line.size()));
  inner = std::min(inner, max_inner);
  const int box_w = std::min(inner + 4, std::max(w, 1));
  const int box_h = static_cast<int>(lines.size()) + 2 + (buttons > 0 ? 1 : 0);
  BoxRect r;
  r.x1 = Place(-1, box_w, w);
  r.y1 = Place(-1, box_h, h);
  r.x2 = r.x1 + box_w - 1;
  r.y2 = r.y1 + box_h - 1;

  canvas.Fill(r.x1, r.y1, r.x2, r.y2, U' ', body);
  canvas.Frame(r.x1, r.y1, r.x2, r.y2, body, true);
  EdgeText(canvas, r.x1, r.x2, r.y1, title, body);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int y = r.y1 + 1 + static_cast<int>(i);
    if (separator[i]) {
      SeparatorRow(canvas, r.x1, r.x2, y, body);
    } else {
      canvas.Write(r.x1 + 2, y, codec.Glyphs(lines[i]), body, box_w - 4);
    }
  }
  if (buttons > 0) {
    int x = r.x1 + 2 + std::max((box_w - 4 - row_length) / 2, 0);
    for (size_t b = 0; b < labels.size(); ++b) {
      const int room = r.x2 - 1 - x;
      if (room <= 0) break;
      x += canvas.Write(x, r.y2 - 1, labels[b], static_cast<int>(b) == focused ? focus : body, room) + 2;
    }
  }
  Shadow(canvas, r);
  return r;
}

BoxRect PaintMenu(Canvas& canvas, const OemCodec& codec, const MenuCall& call, MenuModel& model) {
  const int w = canvas.Width(), h = canvas.Height();
  int widest = 0;
  for (const MenuModel::Row& row : model.Rows()) widest = std::max(widest, static_cast<int>(row.label.text.size()));
  const int inner = std::max({widest + 4, EdgeLength(codec, call.title) + 4, EdgeLength(codec, call.bottom) + 4, 12});
  const int box_w = std::max(std::min(inner + 2, w >= 8 ? w - 4 : w), 1);
  int max_rows = std::max(h >= 6 ? h - 4 : h - 2, 1);
  if (call.max_height > 0) max_rows = std::min(max_rows, call.max_height);
  const int visible = std::max(std::min(model.Count(), max_rows), 1);
  model.SetPageHeight(visible);

  BoxRect r;
  r.x1 = Place(call.x, box_w, w);
  r.y1 = Place(call.y, visible + 2, h);
  r.x2 = r.x1 + box_w - 1;
  r.y2 = r.y1 + visible + 1;
  canvas.Fill(r.x1, r.y1, r.x2, r.y2, U' ', color::kMenu);
  canvas.Frame(r.x1, r.y1, r.x2, r.y2, color::kMenuFrame, true);
  EdgeText(canvas, r.x1, r.x2, r.y1, codec.Glyphs(call.title ? call.title : ""), color::kMenuFrame);
  EdgeText(canvas, r.x1, r.x2, r.y2, codec.Glyphs(call.bottom ? call.bottom : ""), color::kMenuFrame);

  const int text_room = box_w - 6;
  for (int i = 0; i < visible; ++i) {
    const int index = model.Top() + i;
    if (index >= model.Count()) break;
    const MenuModel::Row& row = model.Rows()[static_cast<size_t>(index)];
    const int y = r.y1 + 1 + i;
    if (row.separator) {
      SeparatorRow(canvas, r.x1, r.x2, y, color::kMenuFrame);
      continue;
    }
    const bool cursor = index == model.Cursor();
    const uint8_t base = cursor ? color::kMenuCursor : color::kMenu;
    canvas.Fill(r.x1 + 1, y, r.x2 - 1, y, U' ', base);
    if (row.checked) canvas.Put(r.x1 + 2, y, U'\u221A', base);
    canvas.Write(r.x1 + 4, y, codec.Glyphs(row.label.text), base, std::max(text_room, 0));
    if (row.label.hot_index >= 0 && row.label.hot_index < text_room)
      canvas.Put(r.x1 + 4 + row.label.hot_index, y, codec.Glyph(static_cast<unsigned char>(row.label.HotKey())),
                 cursor ? color::kMenuCursorHot : color::kMenuHot);
  }
  if (model.Count() > visible) {
    const int position = model.Top() * (visible - 1) / (model.Count() - visible);
    canvas.Put(r.x2, r.y1 + 1 + position, U'\u2592', color::kMenuFrame);
  }
  Shadow(canvas, r);
  return r;
}

int DialogWidth(const DialogCall& call) { return std::max(call.x1 < 0 ? call.x2 + 1 : call.x2 - call.x1 + 1, 1); }

int DialogHeight(const DialogCall& call) { return std::max(call.y1 < 0 ? call.y2 + 1 : call.y2 - call.y1 + 1, 1); }

BoxRect PaintDialog(Canvas& canvas, const OemCodec& codec, DialogView& view) {
  const DialogCall& call = *view.call;
  const int dw = DialogWidth(call), dh = DialogHeight(call);
  ItemRect focus_rect;
  if (view.focus >= 0 && view.focus < view.count) focus_rect = ItemBounds(view.items[view.focus], dw, dh);
  const int ox = DialogOrigin(call.x1, dw, canvas.Width(), focus_rect.x1, focus_rect.x2);
  const int oy = DialogOrigin(call.y1, dh, canvas.Height(), focus_rect.y1, focus_rect.y2);
  const BoxRect r{ox, oy, ox + dw - 1, oy + dh - 1};
  canvas.Fill(r.x1, r.y1, r.x2, r.y2, U' ', color::kDialog);
  canvas.HideCursor();

  // Frames first, so that the other items stand on them.
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < view.count; ++i) {
      const HostDialogItem& item = view.items[i];
      if ((item.Type == DI_DOUBLEBOX) != (pass == 0)) continue;
      const ItemRect b = ItemBounds(item, dw, dh);
      const int x = ox + b.x1, y = oy + b.y1, width = b.x2 - b.x1 + 1;
      const bool focused = i == view.focus;
      switch (item.Type) {
        case DI_DOUBLEBOX:
          canvas.Frame(x, y, ox + b.x2, oy + b.y2, color::kDialog, true);
          EdgeText(canvas, x, ox + b.x2, y, codec.Glyphs(ItemText(item)), color::kDialog);
          break;
        case DI_TEXT: canvas.Write(x, y, codec.Glyphs(ItemText(item)), color::kDialog, width); break;
        case DI_EDIT:
        case DI_PSWEDIT: {
          EditField& field = (*view.fields)[static_cast<size_t>(i)];
          const size_t offset = field.Scroll(width);
          const std::string_view shown = field.Visible(width);
          canvas.Fill(x, y, x + width - 1, y, U' ', color::kEdit);
          canvas.Write(x, y, item.Type == DI_PSWEDIT ? std::u32string(shown.size(), U'*') : codec.Glyphs(shown),
                       color::kEdit, width);
          if (focused) canvas.SetCursor(x + static_cast<int>(field.Cursor() - offset), y);
          break;
        }
        case DI_BUTTON: {
          const uint8_t c = focused ? color::kFocus : item.DefaultButton ? color::kDefaultButton : color::kDialog;
          canvas.Write(x, y, Ascii("[") + codec.Glyphs(ItemText(item)) + Ascii("]"), c);
          break;
        }
        case DI_CHECKBOX:
        case DI_RADIOBUTTON: {
          const bool check = item.Type == DI_CHECKBOX;
          std::u32string text = check ? Ascii(item.Selected ? "[x] " : "[ ] ") : Ascii(item.Selected ? "(*) " : "( ) ");
          canvas.Write(x, y, text + codec.Glyphs(ItemText(item)), focused ? color::kFocus : color::kDialog);
          if (focused) canvas.SetCursor(x + 1, y);
          break;
        }
        default: break;
      }
    }
  }
  Shadow(canvas, r);
  return r;
}

void PaintViewer(Canvas& canvas, const OemCodec& codec, std::string_view title, const std::vector<std::string>& lines,
                 ScrollModel& scroll) {
  const int w = canvas.Width(), h = canvas.Height();
  const int page = std::max(h - 2, 1);
  int longest = 0;
  for (const std::string& line : lines) longest = std::max(longest, static_cast<int>(line.size()));
  scroll.Set(static_cast<int>(lines.size()), longest, page, w);
  canvas.HideCursor();
  canvas.Fill(0, 0, w - 1, h - 1, U' ', color::kViewer);
  canvas.Fill(0, 0, w - 1, 0, U' ', color::kViewerBar);
  canvas.Write(1, 0, codec.Glyphs(title), color::kViewerBar, std::max(w - 2, 0));
  for (int i = 0; i < page && scroll.Top() + i < static_cast<int>(lines.size()); ++i) {
    const std::string& line = lines[static_cast<size_t>(scroll.Top() + i)];
    if (static_cast<int>(line.size()) > scroll.Left())
      canvas.Write(0, 1 + i, codec.Glyphs(std::string_view(line).substr(static_cast<size_t>(scroll.Left()))),
                   color::kViewer, w);
  }
  const int total = static_cast<int>(lines.size());
  const int last = std::min(scroll.Top() + page, total);
  const std::string status = total == 0 ? " (empty file)"
                                        : " Lines " + std::to_string(scroll.Top() + 1) + "-" + std::to_string(last) +
                                              " of " + std::to_string(total);
  canvas.Fill(0, h - 1, w - 1, h - 1, U' ', color::kViewerBar);
  canvas.Write(0, h - 1, Ascii(status + "   Up Down PgUp PgDn Home End  Esc/q/F3/F10 close"), color::kViewerBar, w);
}

BoxRect PaintHelp(Canvas& canvas, const OemCodec& codec, std::string_view title, const std::vector<std::string>& lines,
                  ScrollModel& scroll) {
  const int w = canvas.Width(), h = canvas.Height();
  const int box_w = std::max(std::min(w - 4, 78), std::min(w, 12));
  const std::vector<std::string> wrapped = WrapLines(lines, std::max(box_w - 4, 1));
  const int box_h = std::max(std::min(static_cast<int>(wrapped.size()) + 2, h - 2), std::min(h, 3));
  const int page = std::max(box_h - 2, 1);
  scroll.Set(static_cast<int>(wrapped.size()), 0, page, box_w - 4);
  BoxRect r;
  r.x1 = Place(-1, box_w, w);
  r.y1 = Place(-1, box_h, h);
  r.x2 = r.x1 + box_w - 1;
  r.y2 = r.y1 + box_h - 1;
  canvas.HideCursor();
  canvas.Fill(r.x1, r.y1, r.x2, r.y2, U' ', color::kHelp);
  canvas.Frame(r.x1, r.y1, r.x2, r.y2, color::kHelpFrame, true);
  EdgeText(canvas, r.x1, r.x2, r.y1, codec.Glyphs(title), color::kHelpFrame);
  EdgeText(canvas, r.x1, r.x2, r.y2, Ascii("Esc close"), color::kHelpFrame);
  for (int i = 0; i < page && scroll.Top() + i < static_cast<int>(wrapped.size()); ++i)
    canvas.Write(r.x1 + 2, r.y1 + 1 + i, codec.Glyphs(wrapped[static_cast<size_t>(scroll.Top() + i)]), color::kHelp,
                 box_w - 4);
  if (static_cast<int>(wrapped.size()) > page) {
    const int position = scroll.Top() * (page - 1) / (static_cast<int>(wrapped.size()) - page);
    canvas.Put(r.x2, r.y1 + 1 + position, U'\u2592', color::kHelpFrame);
  }
  Shadow(canvas, r);
  return r;
}
