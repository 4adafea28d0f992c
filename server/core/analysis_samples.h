// Inside the analysis core: typed access to the samples of a SampleRange, in
// place, and the small numerical pieces the measurements share. Not an API:
// other families call analysis.h.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "server/core/analysis.h"

namespace vard::server::analysis::detail {

// How a stored sample becomes a value. Raw() is exact in double; the
// physical value is offset + scale·Raw(s), applied per sample by Value() or
// once to finished moments.
struct FloatValues {
  using Sample = float;
  static double Raw(float v) { return v; }
  double Value(float v) const { return v; }
  double offset = 0.0, scale = 1.0;
};
struct IntegerValues {
  using Sample = std::int16_t;
  static double Raw(std::int16_t s) { return s; }
  double Value(std::int16_t s) const { return offset + scale * s; }
  double offset, scale;
};
struct DigitalValues {
  using Sample = std::uint16_t;
  static double Raw(std::uint16_t w) { return w != 0 ? 1.0 : 0.0; }
  double Value(std::uint16_t w) const { return Raw(w); }
  double offset = 0.0, scale = 1.0;
};

// Calls f(values) with the description that fits the snapshot's sample type.
template <class F>
decltype(auto) WithValues(const WaveformData& d, F&& f) {
  switch (d.type()) {
    case vardFloat:
      return f(FloatValues{});
    case vardInteger:
      return f(IntegerValues{d.y().origin, d.y().step});
    default:
      return f(DigitalValues{});
  }
}

// f(const Sample* p, std::int32_t n, std::int32_t index) for each stored run
// covering the range, in index order; p[0] is sample `index`.
template <class Sample, class F>
void ForEachRun(const SampleRange& r, F&& f) {
  for (std::int32_t i = r.first; i <= r.last;) {
    const WaveformData::Run run = r.data->RunAt(r.block, i);
    const std::int32_t end = run.first + run.count <= r.last ? run.first + run.count : r.last + 1;
    f(reinterpret_cast<const Sample*>(run.bytes) + (i - run.first), end - i, i);
    i = end;
  }
}

// f(i, y) for each sample in walk order (forward: rising index), until f
// answers false. Answers whether the walk reached the end.
template <class Values, class F>
bool Walk(const Values& v, const SampleRange& r, bool forward, F&& f) {
  using Sample = typename Values::Sample;
  std::int32_t i = forward ? r.first : r.last;
  while (forward ? i <= r.last : i >= r.first) {
    const WaveformData::Run run = r.data->RunAt(r.block, i);
    const auto* p = reinterpret_cast<const Sample*>(run.bytes);
    const std::int32_t stop = forward ? std::min(run.first + run.count - 1, r.last)
                                      : std::max(run.first, r.first);
    for (; forward ? i <= stop : i >= stop; i += forward ? 1 : -1)
      if (!f(i, v.Value(p[i - run.first]))) return false;
  }
  return true;
}

// f(i, a, b) for each pair of neighbours i, i + 1 (a = y[i], b = y[i+1]) in
// walk order, until f answers false.
template <class Values, class F>
bool WalkPairs(const Values& v, const SampleRange& r, bool forward, F&& f) {
  bool have = false;
  double prev = 0.0;
  return Walk(v, r, forward, [&](std::int32_t i, double y) {
    const bool go = !have || (forward ? f(i - 1, prev, y) : f(i, y, prev));
    have = true;
    prev = y;
    return go;
  });
}

// The crossing of `level` between neighbours a (first in X) and b: vardPositive
// from below (y < level) to above (y >= level), vardNegative the other way,
// 0 for none. A NaN on either side holds none.
inline int CrossingKind(double a, double b, double level) {
  if (a < level && b >= level) return vardPositive;
  if (a >= level && b < level) return vardNegative;
  return 0;
}

// Where the line through (i, a) and (i + 1, b) meets `level`, as X.
inline double CrossingX(const SampleRange& r, std::int32_t i, double a, double b, double level) {
  return r.X(i) + r.data->x().step * ((level - a) / (b - a));
}

// Neumaier's compensated sum.
struct CompensatedSum {
  double sum = 0.0, compensation = 0.0;
  void Add(double x) {
    const double t = sum + x;
    compensation += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
    sum = t;
  }
  double Value() const { return sum + compensation; }
};

// Crossings of `level` that count: a positive one after the signal has been
// below `arm_rising` since the previous counted positive one (or the start),
// a negative one after it has been above `arm_falling` since the previous
// counted negative one. f(kind, i, x) for each, in X order, until f answers
// false. Arming levels of ±infinity count every crossing of that kind or none.
template <class Values, class F>
void ForEachArmedCrossing(const Values& v, const SampleRange& r, double level, double arm_rising,
                          double arm_falling, F&& f) {
  bool rising_armed = false, falling_armed = false;
  WalkPairs(v, r, true, [&](std::int32_t i, double a, double b) {
    rising_armed = rising_armed || a < arm_rising;
    falling_armed = falling_armed || a > arm_falling;
    const int kind = CrossingKind(a, b, level);
    if (kind == vardPositive && rising_armed) {
      rising_armed = false;
      return f(kind, i, CrossingX(r, i, a, b, level));
    }
    if (kind == vardNegative && falling_armed) {
      falling_armed = false;
      return f(kind, i, CrossingX(r, i, a, b, level));
    }
    return true;
  });
}

}  // namespace vard::server::analysis::detail
