// What stays on the screen between the plug-in's calls: the host's
// background, the boxes without buttons and the Text output, in the order
// they came, plus areas put back by RestoreScreen. Menus, dialogs and
// boxes with buttons are not part of it: they vanish when they close.
//
// The scene is kept as that list rather than as cells so that a resize can
// paint it again for the new size, with the boxes centred anew. SaveScreen
// keeps a copy of the list under its handle; RestoreScreen of the whole
// screen takes the copy back, of a smaller area pastes the saved cells of
// that area over what is there now.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "host/terminal/canvas.h"
#include "host/terminal/oem_codec.h"

class Scene {
 public:
  // A box without buttons (items as for Message: title first).
  void AddBox(unsigned flags, std::vector<std::string> items);
  // Text at a position in a colour (already screen characters).
  void AddText(int x, int y, uint8_t color, const std::u32string& text);

  // Keeps what is on the screen under `handle` (any earlier one under the
  // same handle is replaced). Negative x2 or y2 stand for the screen's last
  // column or row; `width` and `height` are the screen's size now.
  void Save(int handle, int x1, int y1, int x2, int y2, int width, int height);
  // Puts back what `handle` holds and forgets it. False when the handle
  // holds nothing.
  bool Restore(int handle, int width, int height, const OemCodec& codec);
  bool Holds(int handle) const { return saved_.count(handle) != 0; }

  // Paints background and layers onto the whole canvas.
  void Paint(Canvas& canvas, const OemCodec& codec) const;
  // The number of layers above the background (for tests).
  size_t LayerCount() const { return layers_.size(); }

 private:
  struct Box {
    unsigned flags = 0;
    std::vector<std::string> items;
  };
  // Consecutive Text calls share one layer, so that a state line rewritten
  // a thousand times does not make a thousand layers.
  struct TextLayer {
    std::map<std::pair<int, int>, Cell> cells;  // (row, column) -> cell
  };
  struct Patch {
    int x = 0, y = 0;
    Canvas cells;
  };
  using Layer = std::variant<Box, TextLayer, Patch>;
  struct Saved {
    std::vector<Layer> layers;
    bool whole = true;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  };

  static void PaintLayers(const std::vector<Layer>& layers, Canvas& canvas, const OemCodec& codec);

  std::vector<Layer> layers_;
  std::map<int, Saved> saved_;
};
