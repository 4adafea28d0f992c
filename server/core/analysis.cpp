// Ranges and the measures over a whole range: extremes, statistics, the
// linear fit and the histogram. The hot loops read the snapshot's storage
// runs in place with explicit vector lanes (GCC/Clang vector extensions, SSE2
// on every x86 target), so sums keep a fixed order without any fast-math.
#include "server/core/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "include/vard_protocol.h"
#include "server/core/analysis_samples.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vard::server::analysis {

using namespace detail;

namespace {

// --- Ranges -------------------------------------------------------------------

std::uint16_t Resolve(const WaveformData& data, int block, double lo, double hi,
                      std::int32_t min_samples, SampleRange* out) {
  if (block < 0 || block >= data.blocks() || data.length() == 0) return vardNoSuchData;
  const double x0 = data.x().origin, step = data.x().step;
  if (!(step > 0.0) || !std::isfinite(step) || !std::isfinite(x0)) return vardNoSuchData;
  const double slack = WaveformData::GridSlack(data.length());
  const double first = std::max(std::ceil((lo - x0) / step - slack), 0.0);
  const double last = std::min(std::floor((hi - x0) / step + slack), data.length() - 1.0);
  if (!(first <= last)) return vardNoSuchData;
  const SampleRange r{&data, block, static_cast<std::int32_t>(first),
                      static_cast<std::int32_t>(last)};
  if (r.size() < min_samples) return vardSegmentToShort;
  *out = r;
  return vardOK;
}

// --- Vector lanes -------------------------------------------------------------
// GCC/Clang vector types give explicit lanes, so sums keep a fixed order.
// Where SSE2 is there (every x86 target of the project), the two conversions
// the compiler does not find on its own use it directly: float pairs to
// doubles, and the histogram's four-at-once bin test.

template <class S>
using Vec [[gnu::vector_size(16)]] = S;
using V2d [[gnu::vector_size(16)]] = double;

// Two neighbouring samples as raw doubles.
template <class Values>
V2d Load2(const typename Values::Sample* p) {
  if constexpr (std::is_same_v<typename Values::Sample, float>) {
#if defined(__SSE2__)
    const __m128i bits = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return reinterpret_cast<V2d>(_mm_cvtps_pd(_mm_castsi128_ps(bits)));
#else
    return V2d{p[0], p[1]};
#endif
  } else {
    return V2d{Values::Raw(p[0]), Values::Raw(p[1])};
  }
}

// --- Extremes -----------------------------------------------------------------

// Running minimum and maximum of stored samples; floats skip NaN (no sample
// compares below +inf or above -inf as NaN).
template <class S>
struct StoredExtremes {
  using L = std::numeric_limits<S>;
  S lo = L::has_infinity ? L::infinity() : L::max();
  S hi = L::has_infinity ? -L::infinity() : L::lowest();
  bool Any() const { return lo <= hi; }

  void Add(const S* p, std::int32_t n) {
    constexpr std::int32_t kLanes = 16 / sizeof(S);
    using V = Vec<S>;
    V l0 = V{} + lo, l1 = l0, h0 = V{} + hi, h1 = h0;
    std::int32_t i = 0;
    for (; i + 2 * kLanes <= n; i += 2 * kLanes) {
      V a, b;
      std::memcpy(&a, p + i, sizeof a);
      std::memcpy(&b, p + i + kLanes, sizeof b);
      l0 = a < l0 ? a : l0;
      h0 = a > h0 ? a : h0;
      l1 = b < l1 ? b : l1;
      h1 = b > h1 ? b : h1;
    }
    // A lane only ever moves one way from where it started: the low lanes
    // count for the minimum only and the high ones for the maximum only (a
    // lane that met no sample, or only NaN, still holds its start).
    for (std::int32_t k = 0; k < kLanes; ++k) {
      lo = std::min({lo, l0[k], l1[k]});
      hi = std::max({hi, h0[k], h1[k]});
    }
    for (; i < n; ++i) Take(p[i]);
  }
  void Take(S v) {
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
};

constexpr std::int32_t kBlock = 4096;  // samples per summation and rescan block

// Physical minimum and maximum of stored extremes: the mapping is monotonic,
// but a negative YStep turns it round.
template <class Values, class S>
std::pair<double, double> Physical(const Values& v, const StoredExtremes<S>& e) {
  const double a = v.Value(e.lo), b = v.Value(e.hi);
  return {std::min(a, b), std::max(a, b)};
}

template <class Values>
std::int32_t FirstEqual(const Values& v, const typename Values::Sample* p, std::int32_t n,
                        double target) {
  std::int32_t i = 0;
  while (i < n - 1 && !(v.Value(p[i]) == target)) ++i;
  return i;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// --- Sums ---------------------------------------------------------------------

// Sums of one block of at most kBlock samples relative to its first raw
// value k: Σd, Σd² and, for the fit, Σj·d with j the index inside the block.
// Integer samples make every term and every partial sum exact.
struct BlockSums {
  std::int32_t n;
  double k, s1, s2, sj;
};

template <bool kWithIndex, class Values>
BlockSums SumBlock(const typename Values::Sample* p, std::int32_t n) {
  const double k = Values::Raw(p[0]);
  const V2d kk = V2d{} + k, eight = V2d{} + 8.0;
  V2d a[4] = {}, q[4] = {}, c[4] = {};
  V2d j[4] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}};
  std::int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    for (int l = 0; l < 4; ++l) {
      const V2d d = Load2<Values>(p + i + 2 * l) - kk;
      a[l] += d;
      q[l] += d * d;
      if constexpr (kWithIndex) {
        c[l] += j[l] * d;
        j[l] += eight;
      }
    }
  }
  const V2d sa = (a[0] + a[1]) + (a[2] + a[3]);
  const V2d sq = (q[0] + q[1]) + (q[2] + q[3]);
  const V2d sc = (c[0] + c[1]) + (c[2] + c[3]);
  BlockSums b{n, k, sa[0] + sa[1], sq[0] + sq[1], sc[0] + sc[1]};
  for (; i < n; ++i) {
    const double d = Values::Raw(p[i]) - k;
    b.s1 += d;
    b.s2 += d * d;
    if constexpr (kWithIndex) b.sj += i * d;
  }
  return b;
}

// Count, sum and centred second moment (and, for the fit, the co-moment with
// the sample index) of everything added so far, in raw units. Blocks merge
// with the pairwise update of Chan, Golub and LeVeque; the merged terms add
// up with compensation.
struct Moments {
  std::int64_t n = 0;
  std::int32_t first_index = 0;
  CompensatedSum sum, m2, cross;

  double Mean() const { return sum.Value() / static_cast<double>(n); }
  double MeanIndex() const { return first_index + (static_cast<double>(n) - 1.0) / 2.0; }

  void Add(const BlockSums& b, std::int32_t index) {
    const double nb = b.n;
    const double mean_b = b.k + b.s1 / nb;
    const double m2_b = std::max(b.s2 - b.s1 * (b.s1 / nb), 0.0);
    const double half = (nb - 1.0) / 2.0;
    const double cross_b = b.sj - half * b.s1;
    if (n == 0) {
      first_index = index;
    } else {
      const double na = static_cast<double>(n), w = na * nb / (na + nb);
      const double dy = mean_b - Mean(), dj = (index + half) - MeanIndex();
      m2.Add(dy * dy * w);
      cross.Add(dj * dy * w);
    }
    sum.Add(b.k * nb + b.s1);  // k·nb is exact: a float or 16-bit value times at most 4096
    m2.Add(m2_b);
    cross.Add(cross_b);
    n += b.n;
  }
};

template <bool kWithIndex, class Values>
Moments SumRange(const SampleRange& r) {
  Moments m;
  ForEachRun<typename Values::Sample>(r, [&](const auto* p, std::int32_t n, std::int32_t index) {
    for (std::int32_t off = 0; off < n; off += kBlock)
      m.Add(SumBlock<kWithIndex, Values>(p + off, std::min(kBlock, n - off)), index + off);
  });
  return m;
}

template <class Values>
double ValueAt(const Values& v, const SampleRange& r, std::int32_t i) {
  const WaveformData::Run run = r.data->RunAt(r.block, i);
  return v.Value(reinterpret_cast<const typename Values::Sample*>(run.bytes)[i - run.first]);
}

}  // namespace

std::uint16_t ResolveRange(const WaveformData& data, int block, double x_begin, double x_end,
                           std::int32_t min_samples, SampleRange* out) {
  if (std::isnan(x_begin) || std::isnan(x_end) || x_begin > x_end) return vardInvalidParameter;
  return Resolve(data, block, x_begin, x_end, min_samples, out);
}

std::uint16_t ResolveSearch(const WaveformData& data, int block, double x_from, double x_to,
                            std::int16_t direction, std::int32_t min_samples, SampleRange* out) {
  if (direction != vardForward && direction != vardBackward) return vardInvalidParameter;
  const bool forward = direction == vardForward;
  if (std::isnan(x_from) || std::isnan(x_to) || (forward ? x_from > x_to : x_from < x_to))
    return vardInvalidParameter;
  return Resolve(data, block, std::min(x_from, x_to), std::max(x_from, x_to), min_samples, out);
}

std::uint16_t WholeBlock(const WaveformData& data, int block, std::int32_t min_samples,
                         SampleRange* out) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  return Resolve(data, block, -kInf, kInf, min_samples, out);
}

Extremes FindExtremesFast(const SampleRange& r) {
  return WithValues(*r.data, [&](const auto& v) {
    using Sample = typename std::decay_t<decltype(v)>::Sample;
    StoredExtremes<Sample> e;
    ForEachRun<Sample>(r, [&](const Sample* p, std::int32_t n, std::int32_t) { e.Add(p, n); });
    if (!e.Any()) return Extremes{kNaN, kNaN, 0.0, 0.0};
    const auto [lo, hi] = Physical(v, e);
    return Extremes{lo, hi, 0.0, 0.0};
  });
}

// Block by block: a block whose extremes beat the ones so far (strictly, so
// the earliest wins on ties) is searched again, from the cache, for the first
// sample that holds them.
Extremes FindExtremes(const SampleRange& r) {
  return WithValues(*r.data, [&](const auto& v) {
    using Sample = typename std::decay_t<decltype(v)>::Sample;
    Extremes best{kNaN, kNaN, kNaN, kNaN};
    bool any = false;
    ForEachRun<Sample>(r, [&](const Sample* p, std::int32_t n, std::int32_t index) {
      for (std::int32_t off = 0; off < n; off += kBlock) {
        const std::int32_t m = std::min(kBlock, n - off);
        StoredExtremes<Sample> e;
        e.Add(p + off, m);
        if (!e.Any()) continue;
        const auto [lo, hi] = Physical(v, e);
        if (!any || lo < best.min) {
          best.min = lo;
          best.min_x = r.X(index + off + FirstEqual(v, p + off, m, lo));
        }
        if (!any || hi > best.max) {
          best.max = hi;
          best.max_x = r.X(index + off + FirstEqual(v, p + off, m, hi));
        }
        any = true;
      }
    });
    return best;
  });
}

Statistics ComputeStatistics(const SampleRange& r) {
  return WithValues(*r.data, [&](const auto& v) {
    using Values = std::decay_t<decltype(v)>;
    const Moments m = SumRange<false, Values>(r);
    const double n = static_cast<double>(m.n);
    Statistics s;
    s.count = m.n;
    s.mean = v.offset + v.scale * m.Mean();
    const double m2 = v.scale * v.scale * std::max(m.m2.Value(), 0.0);
    const double mean_square = s.mean * s.mean + m2 / n;  // Σy²/n, from two non-negative terms
    s.rms = std::sqrt(mean_square);
    s.sigma = std::sqrt(m2 / n);
    const double a = ValueAt(v, r, r.first), b = ValueAt(v, r, r.last);
    const double h = r.data->x().step;
    s.area = m.n > 1 ? h * (n * s.mean - (a + b) / 2) : 0.0;
    s.energy = m.n > 1 ? h * (n * mean_square - (a * a + b * b) / 2) : 0.0;
    return s;
  });
}

LinearFit FitLine(const SampleRange& r) {
  return WithValues(*r.data, [&](const auto& v) {
    using Values = std::decay_t<decltype(v)>;
    const Moments m = SumRange<true, Values>(r);
    const double n = static_cast<double>(m.n);
    const double sxx = n * (n * n - 1.0) / 12.0;  // Σ(j − j̄)² of consecutive indices
    const double step = r.data->x().step;
    LinearFit f;
    f.slope = v.scale * m.cross.Value() / sxx / step;
    const double mean_y = v.offset + v.scale * m.Mean();
    const double mean_x = r.X(0) + step * m.MeanIndex();
    f.y0 = mean_y - f.slope * mean_x;
    return f;
  });
}

namespace {

// Where a value goes in the counts: 0 below bottom, 1 + ⌊(y − bottom)·scale⌋
// (at most b) inside [bottom, top], b + 1 above top, b + 2 for NaN. Four
// interleaved histograms of `stride` counts each take every fourth value.
struct Binner {
  double bottom, top, scale, last_bin;
  std::int32_t bins, stride;

  std::int32_t Inside(double y) const {
    const double t = (y - bottom) * scale;
    return static_cast<std::int32_t>(t < last_bin ? t : last_bin) + 1;
  }
  std::int32_t Slot(double y) const {
    if (y >= bottom && y <= top) return Inside(y);
    return y < bottom ? 0 : y > top ? bins + 1 : bins + 2;
  }
  // The places of a[0], a[1], b[0], b[1] in histograms 0 to 3 when all four
  // lie inside.
  bool AllInside(V2d a, V2d b, std::int32_t* places) const {
#if defined(__SSE2__)
    const __m128d lo = _mm_set1_pd(bottom), hi = _mm_set1_pd(top);
    const __m128d x = reinterpret_cast<__m128d>(a), y = reinterpret_cast<__m128d>(b);
    const __m128d in = _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(x, lo), _mm_cmple_pd(x, hi)),
                                  _mm_and_pd(_mm_cmpge_pd(y, lo), _mm_cmple_pd(y, hi)));
    if (_mm_movemask_pd(in) != 3) return false;
    const __m128d s = _mm_set1_pd(scale), last = _mm_set1_pd(last_bin);
    const __m128i kx = _mm_cvttpd_epi32(_mm_min_pd(_mm_mul_pd(_mm_sub_pd(x, lo), s), last));
    const __m128i ky = _mm_cvttpd_epi32(_mm_min_pd(_mm_mul_pd(_mm_sub_pd(y, lo), s), last));
    const __m128i lanes = _mm_setr_epi32(1, 1 + stride, 1 + 2 * stride, 1 + 3 * stride);
    const __m128i k = _mm_add_epi32(_mm_unpacklo_epi64(kx, ky), lanes);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(places), k);
    return true;
#else
    const double v[4] = {a[0], a[1], b[0], b[1]};
    for (double y : v)
      if (!(y >= bottom && y <= top)) return false;
    for (int k = 0; k < 4; ++k) places[k] = k * stride + Inside(v[k]);
    return true;
#endif
  }
};

}  // namespace

std::uint16_t ComputeHistogram(const SampleRange& r, double bottom, double top, std::int32_t bins,
                               std::int32_t* counts) {
  if (bins < 1 || bins > proto::kMaxHistogramBins || !std::isfinite(bottom) ||
      !std::isfinite(top) || !(bottom < top) || !std::isfinite(top - bottom))
    return vardInvalidParameter;
  // Four interleaved histograms, so that runs of equal bins do not wait on
  // each other's increments; each has a slot b + 2 for NaN, never reported.
  const std::int32_t stride = bins + 3;
  std::vector<std::int32_t> h;
  try {
    h.assign(4 * static_cast<std::size_t>(stride), 0);
  } catch (const std::bad_alloc&) {
    return vardOutOfMemory;
  }
  const Binner bin{bottom, top, bins / (top - bottom), bins - 1.0, bins, stride};
  WithValues(*r.data, [&](const auto& v) {
    using Values = std::decay_t<decltype(v)>;
    using Sample = typename Values::Sample;
    std::int32_t* counted = h.data();
    const V2d offset = V2d{} + v.offset, gain = V2d{} + v.scale;
    ForEachRun<Sample>(r, [&](const Sample* p, std::int32_t n, std::int32_t) {
      std::int32_t i = 0;
      std::int32_t k[4];
      for (; i + 4 <= n; i += 4) {
        V2d a = Load2<Values>(p + i), b = Load2<Values>(p + i + 2);
        if constexpr (!std::is_same_v<Sample, float>) {
          a = offset + gain * a;
          b = offset + gain * b;
        }
        if (!bin.AllInside(a, b, k)) {
          k[0] = bin.Slot(a[0]), k[1] = stride + bin.Slot(a[1]);
          k[2] = 2 * stride + bin.Slot(b[0]), k[3] = 3 * stride + bin.Slot(b[1]);
        }
        ++counted[k[0]], ++counted[k[1]], ++counted[k[2]], ++counted[k[3]];
      }
      for (; i < n; ++i) ++counted[bin.Slot(v.Value(p[i]))];
    });
  });
  for (std::int32_t k = 0; k < bins + 2; ++k)
    counts[k] = h[k] + h[stride + k] + h[2 * stride + k] + h[3 * stride + k];
  return vardOK;
}

}  // namespace vard::server::analysis
