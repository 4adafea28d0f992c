// vardctl's plots: the columns cover every sample once, the ticks fall on
// round numbers, and each column's minimum and maximum end up as drawn
// pixels, in the raster, in its PNG and in the SVG.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/vardctl/plot.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace vard::ctl {
namespace {

TEST(PlotTest, ColumnsCoverEverySampleOnceOrSpreadThem) {
  for (std::int64_t count : {1000, 1001, 100000007}) {
    const std::vector<PlotColumnSpan> spans = PlanColumns(count, 1000);
    ASSERT_EQ(spans.size(), 1000u);
    std::int64_t next = 0;
    for (std::size_t c = 0; c < spans.size(); ++c) {
      EXPECT_EQ(spans[c].first, next);
      EXPECT_GE(spans[c].last, spans[c].first);
      EXPECT_EQ(spans[c].pixel, static_cast<double>(c));
      next = spans[c].last + 1;
    }
    EXPECT_EQ(next, count);
  }
  const std::vector<PlotColumnSpan> few = PlanColumns(3, 101);
  ASSERT_EQ(few.size(), 3u);
  EXPECT_EQ(few[0].pixel, 0);
  EXPECT_EQ(few[1].pixel, 50);
  EXPECT_EQ(few[2].pixel, 100);
  EXPECT_EQ(PlanColumns(1, 101)[0].pixel, 50);
}

TEST(PlotTest, PairsMergeWithoutTheirNaNs) {
  const float pairs[] = {1, 4, NAN, NAN, -2, 3, NAN, 9};
  const MinMax m = ReducePairs(pairs, 8);
  EXPECT_EQ(m.lo, -2);
  EXPECT_EQ(m.hi, 9);
  const float nans[] = {NAN, NAN};
  EXPECT_TRUE(ReducePairs(nans, 2).empty());
  EXPECT_TRUE(ReduceSamples(nans, 2).empty());
}

TEST(PlotTest, TicksFallOnRoundNumbersWithFittingLabels) {
  EXPECT_EQ(Ticks(0, 1, 5), (std::vector<double>{0, 0.2, 0.4, 0.6000000000000001, 0.8, 1}));
  EXPECT_EQ(Ticks(-3.7, 12.1, 4), (std::vector<double>{0, 5, 10}));
  EXPECT_EQ(Ticks(-1.05, 1.05, 4), (std::vector<double>{-1, 0, 1}));  // 0.5 would make 5
  EXPECT_TRUE(Ticks(1, 1, 4).empty());
  const struct {
    double value, step;
    const char* label;
  } labels[] = {{0.6000000000000001, 0.2, "0.6"}, {1000, 200, "1000"},  {-2.5e-7, 5e-8, "-2.5e-07"},
                {3e7, 1e7, "3e+07"},              {0, 0.1, "0"},         {12.25, 0.05, "12.25"}};
  for (const auto& l : labels) EXPECT_EQ(TickLabel(l.value, l.step), l.label);
}

// A dense plot whose column 200 holds a spike to 10 and column 500 a dip
// to -10 over a flat line at 0.
Plot SpikePlot(int area_width) {
  Plot plot;
  plot.title = "spike <&>";
  plot.x_label = "X [s]";
  plot.y_label = "Y [V]";
  plot.x_first = 0;
  plot.x_last = 1;
  for (int c = 0; c < area_width; ++c) {
    MinMax m;
    m.Add(0);
    if (c == 200) m.Add(10);
    if (c == 500) m.Add(-10);
    plot.columns.push_back({static_cast<double>(c), m});
  }
  return plot;
}

bool IsTrace(const std::uint8_t* rgb, int width, int x, int y) {
  const std::uint8_t* p = rgb + (static_cast<std::size_t>(y) * width + x) * 3;
  return p[0] == kTraceRgb[0] && p[1] == kTraceRgb[1] && p[2] == kTraceRgb[2];
}

TEST(PlotTest, EachColumnsMinimumAndMaximumAreDrawn) {
  const int width = 800, height = 400;
  const PlotArea area = AreaOf(width, height);
  const Scene scene = Compose(SpikePlot(area.width), width, height);
  const std::vector<std::uint8_t> rgb = RenderRaster(scene);
  const std::vector<std::uint8_t> png = EncodePng(rgb, width, height);
  int w = 0, h = 0, channels = 0;
  stbi_uc* decoded = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h,
                                           &channels, 3);
  ASSERT_NE(decoded, nullptr);
  ASSERT_EQ(w, width);
  ASSERT_EQ(h, height);
  EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), decoded));
  stbi_image_free(decoded);

  const int zero = static_cast<int>(std::lround(RowOf(scene, 0)));
  const int top = static_cast<int>(std::lround(RowOf(scene, 10)));
  const int bottom = static_cast<int>(std::lround(RowOf(scene, -10)));
  EXPECT_LE(top, area.top + area.height / 10);  // the range fills the area
  for (int c : {0, 100, 200, 500, area.width - 1}) {
    const int x = area.left + c;
    int lo = height, hi = -1;
    for (int y = 0; y < height; ++y)
      if (IsTrace(rgb.data(), width, x, y)) lo = std::min(lo, y), hi = std::max(hi, y);
    EXPECT_EQ(lo, c == 200 ? top : zero) << c;
    EXPECT_EQ(hi, c == 500 ? bottom : zero) << c;
  }
  for (int y = 0; y < height; ++y) {  // nothing drawn beside the area
    EXPECT_FALSE(IsTrace(rgb.data(), width, area.left - 2, y));
    EXPECT_FALSE(IsTrace(rgb.data(), width, area.left + area.width + 1, y));
  }
}

TEST(PlotTest, SvgHoldsTheSameTraceAndEscapedTexts) {
  const PlotArea area = AreaOf(400, 200);
  const Scene scene = Compose(SpikePlot(area.width), 400, 200);
  const std::string svg = RenderSvg(scene);
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"400\" height=\"200\""),
            std::string::npos);
  EXPECT_NE(svg.find(">spike &lt;&amp;&gt;</text>"), std::string::npos);
  // The spike's column: a vertical from the top of its range to the bottom,
  // on pixel centres.
  const std::string x = std::to_string(area.left + 200) + ".5 ";
  const std::string spike = "M" + x + std::to_string(std::lround(RowOf(scene, 10))) + ".5L" + x +
                            std::to_string(std::lround(RowOf(scene, 0))) + ".5";
  EXPECT_NE(svg.find(spike), std::string::npos) << spike;
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

}  // namespace
}  // namespace vard::ctl
