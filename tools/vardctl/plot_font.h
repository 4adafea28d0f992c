// The raster plots' font: stb_easy_font's dots, as rectangles. Printable
// ASCII only; any other byte is drawn as '?'.
#pragma once

#include <string_view>
#include <vector>

namespace vard::ctl {

struct FontRect {
  int x, y, width, height;  // in dots from the text's top left corner
};

// Letters stand kFontAscent dots tall above their baseline.
constexpr int kFontAscent = 7;

int FontWidth(std::string_view text);  // in dots
std::vector<FontRect> FontRects(std::string_view text);

}  // namespace vard::ctl
