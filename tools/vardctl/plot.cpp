#include "tools/vardctl/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/vardctl/plot_font.h"

namespace vard::ctl {

void MinMax::Add(float v) {
  if (v != v) return;
  if (empty()) {
    lo = hi = v;
  } else {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
}

void MinMax::Merge(const MinMax& other) {
  Add(other.lo);
  Add(other.hi);
}

MinMax ReducePairs(const float* pairs, std::size_t values) {
  MinMax m;
  for (std::size_t i = 0; i + 1 < values; i += 2) m.Merge({pairs[i], pairs[i + 1]});
  return m;
}

MinMax ReduceSamples(const float* samples, std::size_t count) {
  MinMax m;
  for (std::size_t i = 0; i < count; ++i) m.Add(samples[i]);
  return m;
}

std::vector<PlotColumnSpan> PlanColumns(std::int64_t count, int width) {
  std::vector<PlotColumnSpan> spans;
  if (count <= 0 || width <= 0) return spans;
  if (count >= width) {
    spans.reserve(static_cast<std::size_t>(width));
    for (std::int64_t c = 0; c < width; ++c)
      spans.push_back({c * count / width, (c + 1) * count / width - 1, static_cast<double>(c)});
  } else {
    for (std::int64_t i = 0; i < count; ++i) {
      const double pixel = count == 1 ? (width - 1) / 2.0
                                      : std::round(static_cast<double>(i) * (width - 1) /
                                                   static_cast<double>(count - 1));
      spans.push_back({i, i, pixel});
    }
  }
  return spans;
}

std::vector<double> Ticks(double lo, double hi, int max_ticks) {
  std::vector<double> ticks;
  if (!(hi > lo) || !std::isfinite(hi - lo) || max_ticks < 1) return ticks;
  const double raw = (hi - lo) / max_ticks;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  double step = 10 * magnitude;
  for (double m : {1.0, 2.0, 5.0})
    if (m * magnitude >= raw) {
      step = m * magnitude;
      break;
    }
  const double first = std::ceil(lo / step - 1e-9);
  const double last = std::floor(hi / step + 1e-9);
  for (double k = first; k <= last; ++k) ticks.push_back(k == 0 ? 0.0 : k * step);
  return ticks;
}

std::string TickLabel(double value, double step) {
  if (value == 0) return "0";
  const int step_exp = static_cast<int>(std::floor(std::log10(step) + 1e-9));
  const int value_exp = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  char text[48];
  if (std::fabs(value) >= 1e-4 && std::fabs(value) < 1e6)
    std::snprintf(text, sizeof text, "%.*f", std::max(0, -step_exp), value);
  else
    std::snprintf(text, sizeof text, "%.*e", std::clamp(value_exp - step_exp, 0, 15), value);
  return text;
}

namespace {

int ScaleFor(int width, int height) { return width >= 640 && height >= 360 ? 2 : 1; }

// Margins in dots of the font, times its scale.
constexpr int kTop = 33;
constexpr int kBottom = 30;
constexpr int kRight = 20;
constexpr int kTick = 4;
constexpr int kGap = 6;

int MaxYTicks(int area_height, int scale) { return std::max(2, area_height / (25 * scale)); }
int MaxXTicks(int area_width, int scale) { return std::max(2, area_width / (70 * scale)); }

double StepOf(const std::vector<double>& ticks) {
  return ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
}

}  // namespace

PlotArea AreaOf(int width, int height) {
  const int s = ScaleFor(width, height);
  PlotArea area;
  area.top = kTop * s;
  area.height = std::max(1, height - (kTop + kBottom) * s);
  area.left = (FontWidth("-000000.00") + kGap + kTick) * s;
  area.width = std::max(1, width - area.left - kRight * s);
  return area;
}

double RowOf(const Scene& scene, double v) {
  const PlotArea& a = scene.area;
  const double bottom = a.top + a.height - 1;
  if (v != v) return bottom;
  const double row = a.top + (scene.y_hi - v) / (scene.y_hi - scene.y_lo) * (a.height - 1);
  return std::clamp(row, static_cast<double>(a.top), bottom);
}

Scene Compose(const Plot& plot, int width, int height) {
  Scene scene;
  scene.width = width;
  scene.height = height;
  const int s = scene.text_scale = ScaleFor(width, height);

  // The Y range: every finite value, with a little room above and below.
  double lo = INFINITY, hi = -INFINITY;
  for (const PlotColumn& c : plot.columns)
    for (float v : {c.range.lo, c.range.hi})
      if (std::isfinite(v)) {
        lo = std::min(lo, static_cast<double>(v));
        hi = std::max(hi, static_cast<double>(v));
      }
  if (lo > hi) lo = -1, hi = 1;
  const double pad = hi > lo ? 0.05 * (hi - lo) : (lo != 0 ? 0.1 * std::fabs(lo) : 1.0);
  scene.y_lo = lo - pad;
  scene.y_hi = hi + pad;
  const PlotArea a = scene.area = AreaOf(width, height);
  const double left = a.left, right = a.left + a.width - 1;
  const double top = a.top, bottom = a.top + a.height - 1;

  const std::vector<double> y_ticks = Ticks(scene.y_lo, scene.y_hi, MaxYTicks(a.height, s));
  for (double t : y_ticks) {
    const double row = std::round(RowOf(scene, t));
    scene.grid.push_back({left, row, right, row});
    scene.frame.push_back({left - kTick * s, row, left - 1, row});
    scene.texts.push_back({left - (kTick + 2) * s, row - kFontAscent * s / 2.0,
                           TickLabel(t, StepOf(y_ticks)), SceneText::kEnd});
  }
  double x_first = plot.x_first, x_last = plot.x_last;
  if (!(x_last > x_first)) x_first -= 0.5, x_last += 0.5;
  const std::vector<double> x_ticks = Ticks(x_first, x_last, MaxXTicks(a.width, s));
  for (double t : x_ticks) {
    const double col = std::round(left + (t - x_first) / (x_last - x_first) * (a.width - 1));
    scene.grid.push_back({col, top, col, bottom});
    scene.frame.push_back({col, bottom + 1, col, bottom + kTick * s});
    scene.texts.push_back({col, bottom + (kTick + 2) * s, TickLabel(t, StepOf(x_ticks)),
                           SceneText::kMiddle});
  }
  const double l = left - 1, r = right + 1, t = top - 1, b = bottom + 1;
  scene.frame.insert(scene.frame.end(), {{l, t, r, t}, {r, t, r, b}, {r, b, l, b}, {l, b, l, t}});

  // The trace: each column's span, joined to the previous column's where
  // the two do not touch.
  const PlotColumn* previous = nullptr;
  double p_top = 0, p_bottom = 0;
  for (const PlotColumn& c : plot.columns) {
    if (c.range.empty()) {
      previous = nullptr;
      continue;
    }
    const double x = left + c.pixel;
    const double c_top = std::round(RowOf(scene, c.range.hi));
    const double c_bottom = std::round(RowOf(scene, c.range.lo));
    if (previous) {
      const double px = left + previous->pixel;
      const double p_mid = (p_top + p_bottom) / 2, c_mid = (c_top + c_bottom) / 2;
      scene.trace.push_back({px, std::clamp(c_mid, p_top, p_bottom), x,
                             std::clamp(p_mid, c_top, c_bottom)});
    }
    scene.trace.push_back({x, c_top, x, c_bottom});
    previous = &c;
    p_top = c_top;
    p_bottom = c_bottom;
  }

  scene.texts.push_back({width / 2.0, 6.0 * s, plot.title, SceneText::kMiddle});
  scene.texts.push_back({left, top - 12.0 * s, plot.y_label, SceneText::kStart});
  scene.texts.push_back({left + a.width / 2.0, bottom + (kTick + 2 + kFontAscent + 5) * s,
                         plot.x_label, SceneText::kMiddle});
  return scene;
}

}  // namespace vard::ctl
