// Measurements that walk the signal in order: local extremes, level
// crossings, pulse parameters and the period.
#include <array>
#include <cmath>
#include <limits>

#include "server/core/analysis.h"
#include "server/core/analysis_samples.h"

namespace vard::server::analysis {

using namespace detail;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The state levels of IEEE 181 by the histogram mode method: 256 bins over
// [min, max]; base and top are the means of the samples in the most
// populated bin of the lower and of the upper half (on a tie the bin farther
// from the middle).
struct StateLevels {
  double base, top;
};

StateLevels FindStateLevels(const SampleRange& r, const Extremes& e) {
  constexpr int kBins = 256;
  std::array<std::int64_t, kBins> count{};
  std::array<CompensatedSum, kBins> sum{};
  const double scale = kBins / (e.max - e.min);
  WithValues(*r.data, [&](const auto& v) {
    Walk(v, r, true, [&](std::int32_t, double y) {
      if (y == y) {
        const double t = std::min((y - e.min) * scale, kBins - 1.0);
        const auto k = static_cast<int>(t);
        ++count[k];
        sum[k].Add(y);
      }
      return true;
    });
  });
  int low = 0, high = kBins - 1;
  for (int k = 1; k < kBins / 2; ++k)
    if (count[k] > count[low]) low = k;
  for (int k = kBins - 2; k >= kBins / 2; --k)
    if (count[k] > count[high]) high = k;
  auto mean = [&](int k) { return sum[k].Value() / static_cast<double>(count[k]); };
  // A half without any sample (possible only with a few samples) falls back
  // to the extreme itself.
  return {count[low] ? mean(low) : e.min, count[high] ? mean(high) : e.max};
}

// The first crossing of `level` of `kind` among the pairs of [first, last]
// walked in `direction`; NaN when there is none.
double CrossingIn(const SampleRange& r, std::int32_t first, std::int32_t last,
                  std::int16_t direction, std::int16_t kind, double level) {
  Crossing c;
  const SampleRange part{r.data, r.block, first, last};
  return FindLevelCrossing(part, direction, kind, level, &c) == vardOK
             ? c.x
             : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

std::uint16_t FindLocalExtreme(const SampleRange& r, std::int16_t direction,
                               std::int16_t extreme_type, double hysteresis, Extreme* out) {
  if ((extreme_type != vardLocalMin && extreme_type != vardLocalMax) || !(hysteresis >= 0.0))
    return vardInvalidParameter;
  // A minimum of y is a maximum of −y.
  const double sign = extreme_type == vardLocalMax ? 1.0 : -1.0;
  double lowest = kInf, candidate = 0.0;
  std::int32_t at = -1;
  bool confirmed = false;
  WithValues(*r.data, [&](const auto& v) {
    Walk(v, r, direction == vardForward, [&](std::int32_t i, double y) {
      if (y != y) return true;
      const double z = sign * y;
      if (at < 0) {
        lowest = std::min(lowest, z);
        if (z - lowest > hysteresis) candidate = z, at = i;
      } else if (z > candidate) {
        candidate = z, at = i;
      } else if (candidate - z > hysteresis) {
        confirmed = true;
      }
      return !confirmed;
    });
  });
  if (!confirmed) return vardNotFound;
  *out = Extreme{sign * candidate, r.X(at)};
  return vardOK;
}

std::uint16_t FindLevelCrossing(const SampleRange& r, std::int16_t direction, std::int16_t kind,
                                double level, Crossing* out) {
  if ((kind != vardPositive && kind != vardNegative && kind != vardPositiveOrNegative) ||
      std::isnan(level))
    return vardInvalidParameter;
  bool found = false;
  WithValues(*r.data, [&](const auto& v) {
    WalkPairs(v, r, direction == vardForward, [&](std::int32_t i, double a, double b) {
      const int k = CrossingKind(a, b, level);
      if (k == 0 || (kind != vardPositiveOrNegative && k != kind)) return true;
      *out = Crossing{CrossingX(r, i, a, b, level), static_cast<std::int16_t>(k)};
      found = true;
      return false;
    });
  });
  return found ? vardOK : vardNotFound;
}

std::uint16_t MeasurePulse(const SampleRange& r, Pulse* out) {
  const Extremes e = FindExtremesFast(r);
  if (!(e.min < e.max) || !std::isfinite(e.max - e.min)) return vardNotFound;
  const StateLevels s = FindStateLevels(r, e);
  const double amplitude = s.top - s.base;
  if (!(amplitude > 0.0)) return vardNotFound;
  const double low = s.base + 0.1 * amplitude, mid = s.base + 0.5 * amplitude,
               high = s.base + 0.9 * amplitude;

  // The first transition of the opposite sense to the first one, and the
  // last transition before it: one of the first sense that follows another
  // (a runt that never reached the far level) replaces it.
  struct Transition {
    int kind = 0;
    std::int32_t pair = 0;
    double x = 0.0;
  } t[2];
  int found = 0;
  WithValues(*r.data, [&](const auto& v) {
    ForEachArmedCrossing(v, r, mid, low, high, [&](int kind, std::int32_t i, double x) {
      const int slot = found == 0 || kind == t[0].kind ? 0 : 1;
      t[slot] = Transition{kind, i, x};
      found = slot + 1;
      return found < 2;
    });
  });
  if (found < 2) return vardNotFound;

  Pulse p;
  for (const Transition& tr : t) {
    // Outer crossings: the last one before the mesial crossing's pair, the
    // first one after it, each of the transition's own sense.
    const auto sense = static_cast<std::int16_t>(tr.kind);
    const double before =
        CrossingIn(r, r.first, tr.pair + 1, vardBackward, sense, tr.kind > 0 ? low : high);
    const double after =
        CrossingIn(r, tr.pair, r.last, vardForward, sense, tr.kind > 0 ? high : low);
    if (std::isnan(before) || std::isnan(after)) return vardNotFound;
    (tr.kind > 0 ? p.rise_time : p.fall_time) = after - before;
  }
  p.duration = t[1].x - t[0].x;
  *out = p;
  return vardOK;
}

std::uint16_t MeasurePeriod(const SampleRange& r, double* period) {
  const Extremes e = FindExtremesFast(r);
  if (!(e.min < e.max)) return vardNotFound;
  const double span = e.max - e.min;
  const double mid = e.min + 0.5 * span, arm = e.min + 0.4 * span;
  std::int64_t k = 0;
  double first = 0.0, last = 0.0;
  WithValues(*r.data, [&](const auto& v) {
    ForEachArmedCrossing(v, r, mid, arm, kInf, [&](int, std::int32_t, double x) {
      (k++ == 0 ? first : last) = x;
      return true;
    });
  });
  if (k < 2) return vardNotFound;
  *period = (last - first) / static_cast<double>(k - 1);
  return vardOK;
}

}  // namespace vard::server::analysis
