// The lasting screen content (see scene.h).
#include "host/terminal/scene.h"

#include <algorithm>

#include "host/terminal/painters.h"

void Scene::AddBox(unsigned flags, std::vector<std::string> items) { layers_.push_back(Box{flags, std::move(items)}); }

void Scene::AddText(int x, int y, uint8_t color, const std::u32string& text) {
  if (layers_.empty() || !std::holds_alternative<TextLayer>(layers_.back())) layers_.push_back(TextLayer{});
  TextLayer& layer = std::get<TextLayer>(layers_.back());
  // Far outside any screen nothing is kept (the text is clipped anyway).
  constexpr int kLimit = 4096;
  if (y < 0 || y >= kLimit) return;
  for (size_t i = 0; i < text.size(); ++i) {
    const int column = x + static_cast<int>(i);
    if (column >= 0 && column < kLimit) layer.cells[{y, column}] = Cell{text[i], color};
  }
}

void Scene::Save(int handle, int x1, int y1, int x2, int y2, int width, int height) {
  Saved saved;
  saved.layers = layers_;
  saved.whole = x1 <= 0 && y1 <= 0 && (x2 < 0 || x2 >= width - 1) && (y2 < 0 || y2 >= height - 1);
  saved.x1 = x1;
  saved.y1 = y1;
  saved.x2 = x2;
  saved.y2 = y2;
  saved_[handle] = std::move(saved);
}

bool Scene::Restore(int handle, int width, int height, const OemCodec& codec) {
  auto it = saved_.find(handle);
  if (it == saved_.end()) return false;
  Saved saved = std::move(it->second);
  saved_.erase(it);
  if (saved.whole) {
    layers_ = std::move(saved.layers);
    return true;
  }
  // Paint the saved scene at today's size and keep the area's cells.
  Canvas then(width, height);
  PaintBackground(then);
  PaintLayers(saved.layers, then, codec);
  const int x1 = std::max(saved.x1, 0), y1 = std::max(saved.y1, 0);
  const int x2 = std::min(saved.x2 < 0 ? width - 1 : saved.x2, width - 1);
  const int y2 = std::min(saved.y2 < 0 ? height - 1 : saved.y2, height - 1);
  if (x2 < x1 || y2 < y1) return true;
  Patch patch{x1, y1, Canvas(x2 - x1 + 1, y2 - y1 + 1)};
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) patch.cells.Put(x - x1, y - y1, then.At(x, y));
  layers_.push_back(std::move(patch));
  return true;
}

void Scene::PaintLayers(const std::vector<Layer>& layers, Canvas& canvas, const OemCodec& codec) {
  for (const Layer& layer : layers) {
    if (const Box* box = std::get_if<Box>(&layer)) {
      PaintMessage(canvas, codec, box->flags, box->items, 0, -1);
    } else if (const TextLayer* text = std::get_if<TextLayer>(&layer)) {
      for (const auto& [where, cell] : text->cells) canvas.Put(where.second, where.first, cell);
    } else if (const Patch* patch = std::get_if<Patch>(&layer)) {
      for (int y = 0; y < patch->cells.Height(); ++y)
        for (int x = 0; x < patch->cells.Width(); ++x) canvas.Put(patch->x + x, patch->y + y, patch->cells.At(x, y));
    }
  }
}

void Scene::Paint(Canvas& canvas, const OemCodec& codec) const {
  PaintBackground(canvas);
  PaintLayers(layers_, canvas, codec);
}
