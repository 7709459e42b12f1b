// Everything the terminal UI draws, painted onto a Canvas (no terminal
// calls here): the host's background, message boxes, menus, dialogs, the
// viewer and the help window. Each painter centres its box on the canvas
// as it is now, so painting again after a resize re-centres it, and clips
// whatever does not fit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/host_ui.h"
#include "host/terminal/canvas.h"
#include "host/terminal/dialog_model.h"
#include "host/terminal/menu_model.h"
#include "host/terminal/oem_codec.h"
#include "host/terminal/pager.h"

// The colours of the host's screens (console attribute bytes).
namespace color {
constexpr uint8_t kPanel = 0x1B, kTitleBar = 0x30, kKeyBar = 0x30;
constexpr uint8_t kMenu = 0x30, kMenuFrame = 0x3F, kMenuHot = 0x3E, kMenuCursor = 0x0F, kMenuCursorHot = 0x0E;
constexpr uint8_t kDialog = 0x70, kDialogFrame = 0x7F, kEdit = 0x30, kFocus = 0x3F, kDefaultButton = 0x7F;
constexpr uint8_t kMessage = 0x70, kMessageButton = 0x3F;
constexpr uint8_t kWarning = 0x4F, kWarningButton = 0x70;
constexpr uint8_t kViewer = 0x1B, kViewerBar = 0x30;
constexpr uint8_t kHelp = 0x30, kHelpFrame = 0x3F;
constexpr uint8_t kShadow = 0x08;
}  // namespace color

// An ASCII text of the host's own as screen characters.
std::u32string Ascii(std::string_view text);

// A box's place on the canvas, inclusive.
struct BoxRect {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// The host's screen behind everything: a title line "kelhost", two blue
// panels and a key bar.
void PaintBackground(Canvas& canvas);

// A message box as host_ui.h describes it (items[0] the title, the last
// `buttons` items the buttons, "" an empty line, "\x01" a separator);
// flags bit 0 gives the warning colours. `focused` is the button with the
// focus (-1 none). Lines wider than the canvas wrap.
BoxRect PaintMessage(Canvas& canvas, const OemCodec& codec, unsigned flags, const std::vector<std::string>& items,
                     int buttons, int focused);

// The menu around `model`'s rows; sets the model's page height to the
// rows that fit.
BoxRect PaintMenu(Canvas& canvas, const OemCodec& codec, const MenuCall& call, MenuModel& model);

// The state of a dialog being shown: the items (their Data and Selected as
// the user has left them), an EditField per item (used for edit fields),
// the focused item.
struct DialogView {
  const DialogCall* call = nullptr;
  const HostDialogItem* items = nullptr;
  int count = 0;
  std::vector<EditField>* fields = nullptr;
  int focus = -1;
};
// The dialog's size: X2+1 by Y2+1 when centred (X1, Y1 -1), else the
// rectangle X1..X2 by Y1..Y2; at least 1 by 1.
int DialogWidth(const DialogCall& call);
int DialogHeight(const DialogCall& call);
// Paints the dialog, placed to show the focused item when the canvas is too
// small, and puts the canvas cursor in the focused edit field.
BoxRect PaintDialog(Canvas& canvas, const OemCodec& codec, DialogView& view);

// The viewer over the whole canvas: a title line, `lines` (OEM) from the
// scroll position, a status line. Sets the scroll model's sizes.
void PaintViewer(Canvas& canvas, const OemCodec& codec, std::string_view title, const std::vector<std::string>& lines,
                 ScrollModel& scroll);

// The help window: `title` in its frame, `lines` (OEM, unwrapped) wrapped
// to its width from the scroll position. Sets the scroll model's sizes.
BoxRect PaintHelp(Canvas& canvas, const OemCodec& codec, std::string_view title, const std::vector<std::string>& lines,
                  ScrollModel& scroll);
