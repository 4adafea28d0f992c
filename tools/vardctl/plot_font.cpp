#include "tools/vardctl/plot_font.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <stb_easy_font.h>

namespace vard::ctl {

namespace {

std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c < 32 || c > 126) c = '?';
  return out;
}

}  // namespace

int FontWidth(std::string_view text) {
  std::string s = Printable(text);
  return stb_easy_font_width(s.data());
}

std::vector<FontRect> FontRects(std::string_view text) {
  std::string s = Printable(text);
  struct Vertex {
    float x, y, z;
    unsigned char rgba[4];
  };
  // About 270 bytes per character on average; a full buffer would cut the
  // text, never overrun.
  std::vector<Vertex> vertices(s.size() * 1024 / sizeof(Vertex) + 4);
  const int quads = stb_easy_font_print(0, 0, s.data(), nullptr, vertices.data(),
                                        static_cast<int>(vertices.size() * sizeof(Vertex)));
  std::vector<FontRect> rects;
  rects.reserve(static_cast<std::size_t>(quads));
  for (int q = 0; q < quads; ++q) {
    const Vertex* v = &vertices[static_cast<std::size_t>(q) * 4];
    float x0 = v[0].x, x1 = v[0].x, y0 = v[0].y, y1 = v[0].y;
    for (int i = 1; i < 4; ++i) {
      x0 = std::min(x0, v[i].x);
      x1 = std::max(x1, v[i].x);
      y0 = std::min(y0, v[i].y);
      y1 = std::max(y1, v[i].y);
    }
    rects.push_back({static_cast<int>(std::lround(x0)), static_cast<int>(std::lround(y0)),
                     static_cast<int>(std::lround(x1 - x0)), static_cast<int>(std::lround(y1 - y0))});
  }
  return rects;
}

}  // namespace vard::ctl
