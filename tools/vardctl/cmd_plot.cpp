// plot: a waveform's range as a PNG or SVG line plot, drawn from one
// minimum/maximum pair per pixel column. The pairs come from reduced reads,
// or, for columns of many samples, from the server's own minimum and maximum,
// so a plot costs a request per column however long the waveform is.
#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "tools/vardctl/commands.h"
#include "tools/vardctl/errors.h"
#include "tools/vardctl/file_io.h"
#include "tools/vardctl/plot.h"
#include "tools/vardctl/pool.h"
#include "tools/vardctl/text.h"

namespace vard::ctl {

namespace {

constexpr int kMaxImageSide = 20000;
// A range this short is read whole (a few requests) and reduced here.
constexpr std::int64_t kReadWhole = 8 * kReadChunk;

struct PlotArgs {
  std::string name, out, title;
  RangeArgs range;
  int width = 800;
  int height = 400;
};

std::string Labelled(const char* axis, const std::string& units) {
  return units.empty() ? axis : std::string(axis) + " [" + units + "]";
}

// The minimum and maximum of samples [first, last] of a block.
MinMax ColumnRange(const LockedWaveform& w, const std::string& name, int block, std::int64_t first,
                   std::int64_t last, std::vector<float>* buffer) {
  const WaveformShape& s = w.shape();
  const std::int64_t size = last - first + 1;
  if (size > kReadChunk && s.type != SampleType::kDigital && s.x_step > 0 && std::isfinite(s.x_step)) {
    double lo = 0, hi = 0;
    Check(WaveformFastMinMax(name.c_str(), static_cast<short>(block), XOf(s, first), XOf(s, last), &lo, &hi),
          name);
    MinMax m;
    m.Add(static_cast<float>(lo));
    m.Add(static_cast<float>(hi));
    return m;
  }
  if (size == 1) {
    w.Read(block, first, last, 1, vardFloat, buffer->data());
    return ReduceSamples(buffer->data(), 1);
  }
  // One group of up to 65535 samples; the library answers a pair per
  // request of at most kReadChunk samples.
  const auto reduction = static_cast<unsigned short>(std::min<std::int64_t>(size, 65535));
  const std::int64_t values = size <= kReadChunk ? 2 : 2 * ((size + kReadChunk - 1) / kReadChunk);
  buffer->resize(std::max<std::size_t>(buffer->size(), static_cast<std::size_t>(values)));
  w.Read(block, first, last, static_cast<short>(reduction), vardFloat, buffer->data());
  return ReducePairs(buffer->data(), static_cast<std::size_t>(values));
}

void PlotCommand(const PlotArgs& a) {
  std::string ext = a.out.substr(std::min(a.out.size(), a.out.rfind('.') + 1));
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext != "png" && ext != "svg") throw UsageError("plot writes .png or .svg files, not " + a.out);
  if (a.width < kMinPlotWidth || a.width > kMaxImageSide || a.height < kMinPlotHeight ||
      a.height > kMaxImageSide)
    throw UsageError("the image takes " + std::to_string(kMinPlotWidth) + " to " +
                     std::to_string(kMaxImageSide) + " pixels across and " +
                     std::to_string(kMinPlotHeight) + " to " + std::to_string(kMaxImageSide) + " down");
  PoolSession pool;
  const LockedWaveform w(a.name);
  const WaveformShape& s = w.shape();
  if (a.range.block < 0 || a.range.block >= s.blocks)
    throw UsageError(a.name + " has no block " + std::to_string(a.range.block));
  std::int64_t first = 0, last = 0;
  if (!SamplesBetween(s, a.range.from, a.range.to, &first, &last))
    throw Failure(a.name + ": no sample to plot in that range");
  const std::int64_t count = last - first + 1;

  Plot plot;
  plot.title = Utf8FromAnsi(a.title.empty() ? a.name + (s.blocks > 1 ? ", block " + std::to_string(a.range.block) : "")
                                            : a.title);
  plot.y_label = Utf8FromAnsi(Labelled("Y", s.y_units));
  const bool ordered = s.x_step > 0 && std::isfinite(s.x_step);
  plot.x_label = ordered ? Utf8FromAnsi(Labelled("X", s.x_units)) : "sample";
  plot.x_first = ordered ? XOf(s, first) : static_cast<double>(first);
  plot.x_last = ordered ? XOf(s, last) : static_cast<double>(last);

  const std::vector<PlotColumnSpan> spans = PlanColumns(count, AreaOf(a.width, a.height).width);
  std::vector<float> buffer(static_cast<std::size_t>(std::min(count, kReadWhole)));
  if (count <= kReadWhole) {
    w.Read(a.range.block, first, last, 1, vardFloat, buffer.data());
    for (const PlotColumnSpan& c : spans)
      plot.columns.push_back({c.pixel, ReduceSamples(buffer.data() + c.first, static_cast<std::size_t>(c.last - c.first + 1))});
  } else {
    for (const PlotColumnSpan& c : spans)
      plot.columns.push_back({c.pixel, ColumnRange(w, a.name, a.range.block, first + c.first, first + c.last, &buffer)});
  }

  const Scene scene = Compose(plot, a.width, a.height);
  OutputFile out(a.out);
  if (ext == "svg") {
    out.Write(RenderSvg(scene));
  } else {
    const std::vector<std::uint8_t> png = EncodePng(RenderRaster(scene), a.width, a.height);
    if (png.empty()) throw Failure("cannot encode the PNG image");
    out.Write(png.data(), png.size());
  }
  out.Commit();
}

}  // namespace

void AddPlotCommand(CLI::App* app) {
  auto plot = std::make_shared<PlotArgs>();
  CLI::App* c = app->add_subcommand("plot", "Draw a waveform into a PNG or SVG file: a line plot "
                                            "with axes, ticks, units and title");
  c->add_option("NAME", plot->name, "the waveform")->required();
  c->add_option("OUT", plot->out, "the image file (.png or .svg)")->required();
  plot->range.AddTo(c);
  c->add_option("--width", plot->width, "the image's width in pixels (default 800)");
  c->add_option("--height", plot->height, "the image's height in pixels (default 400)");
  c->add_option("--title", plot->title, "the title (default: the waveform's name)");
  c->callback([plot] { PlotCommand(*plot); });
}

}  // namespace vard::ctl
