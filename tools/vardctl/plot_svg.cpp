// A scene as an SVG document: the same segments and texts as the raster,
// on pixel centres.
#include <cstdio>
#include <string>

#include "tools/vardctl/plot.h"
#include "tools/vardctl/plot_font.h"

namespace vard::ctl {

namespace {

std::string Coord(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v + 0.5);
  std::string s = text;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  return s;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
  return out;
}

// One path of segments; a segment that starts where the last one ended
// continues it.
std::string Path(const std::vector<Segment>& segments, const char* colour) {
  std::string d;
  double x = -1e300, y = -1e300;
  for (const Segment& s : segments) {
    if (s.x0 != x || s.y0 != y) d.append("M").append(Coord(s.x0)).append(" ").append(Coord(s.y0));
    d.append("L").append(Coord(s.x1)).append(" ").append(Coord(s.y1));
    x = s.x1;
    y = s.y1;
  }
  return "<path fill=\"none\" stroke=\"" + std::string(colour) +
         "\" stroke-width=\"1\" stroke-linecap=\"square\" d=\"" + d + "\"/>\n";
}

}  // namespace

std::string RenderSvg(const Scene& scene) {
  const std::string w = std::to_string(scene.width), h = std::to_string(scene.height);
  char trace[8];
  std::snprintf(trace, sizeof trace, "#%02x%02x%02x", kTraceRgb[0], kTraceRgb[1], kTraceRgb[2]);
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
                    "\" viewBox=\"0 0 " + w + " " + h + "\">\n"
                    "<rect width=\"" + w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
  svg += Path(scene.grid, "#e4e4e4");
  svg += Path(scene.trace, trace);
  svg += Path(scene.frame, "#202020");
  const int s = scene.text_scale;
  svg += "<g font-family=\"monospace\" font-size=\"" + std::to_string(10 * s) +
         "\" fill=\"#202020\">\n";
  static const char* const kAnchors[] = {"start", "middle", "end"};
  for (const SceneText& t : scene.texts) {
    if (t.text.empty()) continue;
    svg += "<text x=\"" + Coord(t.x) + "\" y=\"" + Coord(t.y + kFontAscent * s) +
           "\" text-anchor=\"" + kAnchors[t.anchor] + "\">" + Escaped(t.text) + "</text>\n";
  }
  return svg + "</g>\n</svg>\n";
}

}  // namespace vard::ctl
