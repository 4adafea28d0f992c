// Line plots of a waveform, drawn from one minimum/maximum pair per pixel
// column: the columns are planned here, filled by the caller (from the pool)
// and composed into a scene of segments and texts, which the raster (PNG)
// and SVG renderers draw the same way. Portable: no platform calls.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace vard::ctl {

// The smallest and the largest value of some samples; NaN samples count
// nowhere, so a range of nothing but NaN stays empty.
struct MinMax {
  float lo = std::numeric_limits<float>::quiet_NaN();
  float hi = std::numeric_limits<float>::quiet_NaN();

  bool empty() const { return lo != lo; }
  void Add(float v);
  void Merge(const MinMax& other);
};

// The (minimum, maximum) pairs of a reduced read, merged.
MinMax ReducePairs(const float* pairs, std::size_t values);
MinMax ReduceSamples(const float* samples, std::size_t count);

// Samples [first, last] of the plotted range that one column shows, and the
// column's place in pixels from the left edge of the plot area.
struct PlotColumnSpan {
  std::int64_t first = 0;
  std::int64_t last = 0;
  double pixel = 0.0;
};

// One column per pixel when there are at least as many samples as pixels
// (pixel c shows the samples from ⌊c·count/width⌋ up to the next column's),
// otherwise one column per sample, spread evenly from the first pixel to
// the last.
std::vector<PlotColumnSpan> PlanColumns(std::int64_t count, int width);

struct PlotColumn {
  double pixel = 0.0;
  MinMax range;
};

struct Plot {
  std::string title;
  std::string x_label;  // "time [s]"
  std::string y_label;  // the Y units
  double x_first = 0.0;  // X of the first and of the last sample plotted
  double x_last = 0.0;
  std::vector<PlotColumn> columns;
};

// The plot area of an image: where the columns go.
struct PlotArea {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

constexpr int kMinPlotWidth = 160;
constexpr int kMinPlotHeight = 120;

// The plot area of a `width` × `height` image (at least kMinPlotWidth ×
// kMinPlotHeight). It does not depend on the data, so the columns can be
// planned before anything is read; the left margin takes Y tick labels of
// up to 10 characters.
PlotArea AreaOf(int width, int height);

// Ticks at round numbers (1, 2 or 5 times a power of ten) inside [lo, hi],
// at most `max_ticks` + 1 of them.
std::vector<double> Ticks(double lo, double hi, int max_ticks);
// A tick's label, with as many digits as the step between ticks needs.
std::string TickLabel(double value, double step);

struct Segment {
  double x0, y0, x1, y1;  // pixel coordinates, y downwards
};

struct SceneText {
  enum Anchor { kStart, kMiddle, kEnd };
  double x = 0.0;
  double y = 0.0;  // the top of the letters
  std::string text;
  Anchor anchor = kStart;
};

struct Scene {
  int width = 0;
  int height = 0;
  int text_scale = 1;  // pixels per dot of the raster font
  PlotArea area;
  double y_lo = 0.0;  // the Y range the area shows, bottom to top
  double y_hi = 0.0;
  std::vector<Segment> grid;
  std::vector<Segment> frame;  // the axes' box and tick marks
  std::vector<Segment> trace;
  std::vector<SceneText> texts;
};

// Lays the plot out on a `width` × `height` image.
Scene Compose(const Plot& plot, int width, int height);

// The pixel row of value `v` in a scene (infinities at the area's edges).
double RowOf(const Scene& scene, double v);

// RGB, 3 bytes per pixel, rows from the top.
std::vector<std::uint8_t> RenderRaster(const Scene& scene);
// The PNG file of a raster.
std::vector<std::uint8_t> EncodePng(const std::vector<std::uint8_t>& rgb, int width, int height);
std::string RenderSvg(const Scene& scene);

// The trace colour, for readers of the raster.
constexpr std::uint8_t kTraceRgb[3] = {0x1F, 0x5F, 0xB4};

}  // namespace vard::ctl
