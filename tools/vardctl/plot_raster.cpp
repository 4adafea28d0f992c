// A scene drawn into an RGB raster, and the raster as a PNG file.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "tools/vardctl/plot.h"
#include "tools/vardctl/plot_font.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace vard::ctl {

namespace {

struct Canvas {
  int width, height;
  std::vector<std::uint8_t>* rgb;

  void Set(long x, long y, const std::uint8_t* colour) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    std::copy(colour, colour + 3, rgb->begin() + (y * width + x) * 3);
  }

  // Bresenham's line between the pixels nearest the two ends.
  void Line(const Segment& s, const std::uint8_t* colour) {
    long x0 = std::lround(s.x0), y0 = std::lround(s.y0);
    const long x1 = std::lround(s.x1), y1 = std::lround(s.y1);
    const long dx = std::labs(x1 - x0), dy = -std::labs(y1 - y0);
    const long sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    long error = dx + dy;
    for (;;) {
      Set(x0, y0, colour);
      if (x0 == x1 && y0 == y1) return;
      const long e2 = 2 * error;
      if (e2 >= dy) error += dy, x0 += sx;
      if (e2 <= dx) error += dx, y0 += sy;
    }
  }

  void Text(const SceneText& t, int scale, const std::uint8_t* colour) {
    const double width = FontWidth(t.text) * scale;
    const double shift = t.anchor == SceneText::kMiddle ? width / 2
                         : t.anchor == SceneText::kEnd  ? width
                                                        : 0.0;
    const long x = std::lround(t.x - shift), y = std::lround(t.y);
    for (const FontRect& r : FontRects(t.text))
      for (long dy = 0; dy < r.height * scale; ++dy)
        for (long dx = 0; dx < r.width * scale; ++dx)
          Set(x + r.x * scale + dx, y + r.y * scale + dy, colour);
  }
};

constexpr std::uint8_t kGrid[3] = {0xE4, 0xE4, 0xE4};
constexpr std::uint8_t kInk[3] = {0x20, 0x20, 0x20};

}  // namespace

std::vector<std::uint8_t> RenderRaster(const Scene& scene) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(scene.width) * scene.height * 3, 0xFF);
  Canvas canvas{scene.width, scene.height, &rgb};
  for (const Segment& s : scene.grid) canvas.Line(s, kGrid);
  for (const Segment& s : scene.trace) canvas.Line(s, kTraceRgb);
  for (const Segment& s : scene.frame) canvas.Line(s, kInk);
  for (const SceneText& t : scene.texts) canvas.Text(t, scene.text_scale, kInk);
  return rgb;
}

std::vector<std::uint8_t> EncodePng(const std::vector<std::uint8_t>& rgb, int width, int height) {
  std::vector<std::uint8_t> png;
  auto append = [](void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
  };
  if (!stbi_write_png_to_func(append, &png, width, height, 3, rgb.data(), width * 3)) png.clear();
  return png;
}

}  // namespace vard::ctl
