// stats, hist, crossings: the server measures where the samples lie; only
// the results travel.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tools/vardctl/commands.h"
#include "tools/vardctl/errors.h"
#include "tools/vardctl/pool.h"
#include "tools/vardctl/text.h"

namespace vard::ctl {

namespace {

std::string WithUnits(double v, const std::string& units) {
  return units.empty() ? Readable(v) : Readable(v) + " " + units;
}

std::string Row(const char* label, const std::string& value) {
  std::string row = label;
  row.resize(std::max<std::size_t>(row.size() + 1, 9), ' ');
  return row + value + "\n";
}

struct StatsArgs {
  std::string name;
  RangeArgs range;
  bool json = false;
};

void Stats(const StatsArgs& a) {
  PoolSession pool;
  const LockedWaveform w(a.name);
  const WaveformShape& s = w.shape();
  const char* n = a.name.c_str();
  const auto block = static_cast<short>(a.range.block);
  double mean = 0, rms = 0, sigma = 0, area = 0, energy = 0, lo = 0, hi = 0, lo_at = 0, hi_at = 0;
  Check(WaveformStatistics(n, block, a.range.from, a.range.to, &mean, &rms, &sigma, &area, &energy), a.name);
  Check(WaveformMinMax(n, block, a.range.from, a.range.to, &lo, &hi, &lo_at, &hi_at), a.name);
  if (a.json) {
    JsonObject o;
    o.Add("name", JsonString(Utf8FromAnsi(a.name)));
    const std::pair<const char*, double> fields[] = {
        {"mean", mean}, {"rms", rms}, {"sigma", sigma}, {"area", area}, {"energy", energy},
        {"min", lo},    {"min_x", lo_at}, {"max", hi},  {"max_x", hi_at}};
    for (const auto& [key, value] : fields) o.Add(key, JsonNumber(value));
    Print(o.str() + "\n");
    return;
  }
  Print(Row("mean", WithUnits(mean, s.y_units)) + Row("rms", WithUnits(rms, s.y_units)) +
        Row("sigma", WithUnits(sigma, s.y_units)) + Row("area", Readable(area)) +
        Row("energy", Readable(energy)) +
        Row("min", WithUnits(lo, s.y_units) + " at " + WithUnits(lo_at, s.x_units)) +
        Row("max", WithUnits(hi, s.y_units) + " at " + WithUnits(hi_at, s.x_units)));
}

struct HistArgs {
  std::string name;
  RangeArgs range;
  int bins = 10;
  double bottom = NAN, top = NAN;
  bool json = false;
};

constexpr int kMaxBins = 16326;  // what the request block carries back

void Hist(const HistArgs& a) {
  if (a.bins < 1 || a.bins > kMaxBins)
    throw UsageError("--bins takes 1 to " + std::to_string(kMaxBins) + " bins");
  PoolSession pool;
  const LockedWaveform w(a.name);
  const char* n = a.name.c_str();
  const auto block = static_cast<short>(a.range.block);
  double bottom = a.bottom, top = a.top;
  if (std::isnan(bottom) || std::isnan(top)) {  // the range's own extremes
    double lo = 0, hi = 0;
    Check(WaveformFastMinMax(n, block, a.range.from, a.range.to, &lo, &hi), a.name);
    if (std::isnan(bottom)) bottom = lo;
    if (std::isnan(top)) top = hi;
    if (!(top > bottom)) bottom -= 0.5, top += 0.5;  // one value: one bin around it
  }
  std::vector<long> counts(static_cast<std::size_t>(a.bins) + 2);
  Check(WaveformHistogram(n, block, a.range.from, a.range.to, top, bottom, static_cast<short>(a.bins),
                          counts.data()),
        a.name);
  const double width = (top - bottom) / a.bins;
  if (a.json) {
    JsonObject o;
    o.Add("name", JsonString(Utf8FromAnsi(a.name)));
    o.Add("bottom", JsonNumber(bottom));
    o.Add("top", JsonNumber(top));
    o.Add("below", std::to_string(counts.front()));
    std::string list;
    for (int b = 1; b <= a.bins; ++b) list += (b > 1 ? "," : "") + std::to_string(counts[static_cast<std::size_t>(b)]);
    o.Add("bins", "[" + list + "]");
    o.Add("above", std::to_string(counts.back()));
    Print(o.str() + "\n");
    return;
  }
  std::string text = "below " + Readable(bottom) + "\t" + std::to_string(counts.front()) + "\n";
  for (int b = 0; b < a.bins; ++b)
    text += "[" + Readable(bottom + b * width) + ", " + Readable(b + 1 == a.bins ? top : bottom + (b + 1) * width) +
            (b + 1 == a.bins ? "]\t" : ")\t") + std::to_string(counts[static_cast<std::size_t>(b) + 1]) + "\n";
  text += "above " + Readable(top) + "\t" + std::to_string(counts.back()) + "\n";
  Print(text);
}

struct CrossingsArgs {
  std::string name;
  RangeArgs range;
  double level = 0;
  std::string kind = "both";
  int max = 1000;
  bool json = false;
};

void Crossings(const CrossingsArgs& a) {
  const short wanted = a.kind == "rising" ? vardPositive : a.kind == "falling" ? vardNegative : vardPositiveOrNegative;
  if (a.kind != "rising" && a.kind != "falling" && a.kind != "both")
    throw UsageError("--kind is rising, falling or both, not " + a.kind);
  PoolSession pool;
  const LockedWaveform w(a.name);
  const WaveformShape& s = w.shape();
  if (!(s.x_step > 0) || !std::isfinite(s.x_step))
    throw Failure(a.name + ": the X axis has no order (a step of " + Shortest(s.x_step) + ")");
  // Each search starts at the sample after the pair that held the last
  // crossing (a crossing exactly on a sample may open the next pair).
  std::vector<std::pair<double, short>> found;
  double from = a.range.from;
  std::int64_t next = 0;
  bool truncated = false;
  for (;;) {
    double at = 0;
    short kind = 0;
    const short code = WaveformFindLevelCrossing(a.name.c_str(), static_cast<short>(a.range.block), from,
                                                 a.range.to, vardForward, wanted, a.level, &at, &kind);
    // No further crossing, or (after the first search) no pair left.
    if (code == vardNotFound) break;
    if (!found.empty() && (code == vardNoSuchData || code == vardSegmentToShort)) break;
    Check(code, a.name);
    if (found.empty() || found.back() != std::make_pair(at, kind)) {
      if (static_cast<int>(found.size()) == a.max) {
        truncated = true;
        break;
      }
      found.emplace_back(at, kind);
    }
    const double index = std::floor((at - s.x0) / s.x_step - 1e-9);
    next = std::max(next + 1, static_cast<std::int64_t>(index) + 1);
    if (next >= s.length - 1) break;
    from = XOf(s, next);
    if (from > a.range.to) break;
  }
  if (a.json) {
    std::string list;
    for (const auto& [x, kind] : found) {
      JsonObject c;
      c.Add("x", JsonNumber(x));
      c.Add("kind", JsonString(kind == vardPositive ? "rising" : "falling"));
      list += (list.empty() ? "" : ",") + c.str();
    }
    JsonObject o;
    o.Add("name", JsonString(Utf8FromAnsi(a.name)));
    o.Add("level", JsonNumber(a.level));
    o.Add("crossings", "[" + list + "]");
    o.Add("truncated", truncated ? "true" : "false");
    Print(o.str() + "\n");
    return;
  }
  std::string text;
  for (const auto& [x, kind] : found)
    text += Shortest(x) + (kind == vardPositive ? " rising\n" : " falling\n");
  if (truncated) text += "(stopped after " + std::to_string(a.max) + " crossings: --max raises it)\n";
  Print(text);
}

}  // namespace

void AddAnalysisCommands(CLI::App* app) {
  auto stats = std::make_shared<StatsArgs>();
  CLI::App* c = app->add_subcommand("stats", "Mean, RMS, standard deviation, area, energy, "
                                             "minimum and maximum of a waveform's range");
  c->add_option("NAME", stats->name, "the waveform")->required();
  stats->range.AddTo(c);
  c->add_flag("--json", stats->json, "print a JSON object");
  c->callback([stats] { Stats(*stats); });

  auto hist = std::make_shared<HistArgs>();
  c = app->add_subcommand("hist", "An amplitude histogram of a waveform's range");
  c->add_option("NAME", hist->name, "the waveform")->required();
  c->add_option("--bins", hist->bins, "the number of bins (1 to 16326, default 10)");
  c->add_option("--min", hist->bottom, "the bottom of the first bin (default: the minimum)");
  c->add_option("--max", hist->top, "the top of the last bin (default: the maximum)");
  hist->range.AddTo(c);
  c->add_flag("--json", hist->json, "print a JSON object");
  c->callback([hist] { Hist(*hist); });

  auto cross = std::make_shared<CrossingsArgs>();
  c = app->add_subcommand("crossings", "The X positions where a waveform crosses a level");
  c->add_option("NAME", cross->name, "the waveform")->required();
  c->add_option("--level", cross->level, "the level")->required();
  c->add_option("--kind", cross->kind, "rising, falling or both (default)");
  c->add_option("--max", cross->max, "stop after this many crossings (default 1000)");
  cross->range.AddTo(c);
  c->add_flag("--json", cross->json, "print a JSON object");
  c->callback([cross] { Crossings(*cross); });
}

}  // namespace vard::ctl
