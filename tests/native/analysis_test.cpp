// The analysis core against plain double-precision computations written out
// here (two-pass sums, edge searches, textbook least squares), on signals with
// known answers, and the operations' wire behaviour through Dispatch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "server/core/analysis.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

namespace an = analysis;
using Snap = std::shared_ptr<const WaveformData>;

struct Axes { double x0 = 0.0, dx = 1.0, y0 = 0.0, dy = 1.0; };

template <class T>
Snap Make(std::int16_t type, const std::vector<T>& samples, Axes a = {}) {
  Snap s;
  EXPECT_EQ(WaveformData::Create(type, &s), vardOK);
  WaveformWriter w(s);
  w.SetHorizontal(a.x0, a.dx, "");
  w.SetVertical(a.y0, a.dy, "");
  const auto n = static_cast<std::int32_t>(samples.size());
  EXPECT_EQ(w.Write(0, n - 1, samples.data(), samples.size() * sizeof(T)), vardOK);
  return w.Publish();
}

an::SampleRange All(const Snap& s) {
  an::SampleRange r;
  EXPECT_EQ(an::WholeBlock(*s, 0, 1, &r), vardOK);
  return r;
}

void Near(double got, double want, double scale = 0.0) {
  EXPECT_NEAR(got, want, 1e-9 * std::max(std::fabs(want), scale)) << "want " << want;
}

// --- Whole-range measures against plain formulas -------------------------------

struct Signal {
  const char* what;
  Snap data;
  std::vector<double> y;  // physical values, computed here
  double dx;
};

std::vector<Signal> Signals() {
  std::mt19937 rng(2024);
  std::normal_distribution<float> noise(1000.0f, 0.5f);  // an offset far above the spread
  std::vector<float> f(200000);
  for (float& v : f) v = noise(rng);
  std::vector<std::int16_t> s(150000);
  std::uniform_int_distribution<int> word(-32768, 32767);
  for (auto& v : s) v = static_cast<std::int16_t>(word(rng));
  std::vector<std::uint16_t> d(70000);
  for (std::size_t i = 0; i < d.size(); ++i)
    d[i] = static_cast<std::uint16_t>((i * 7919) % 5 ? 0 : i);

  const Axes fa{-2.0, 0.001}, sa{10.0, 0.5, -3.0, -0.01}, da{0.0, 0.25};
  std::vector<Signal> out{{"float noise", Make(vardFloat, f, fa), {}, fa.dx},
                          {"integer, negative YStep", Make(vardInteger, s, sa), {}, sa.dx},
                          {"digital words", Make(vardDigital, d, da), {}, da.dx}};
  for (float v : f) out[0].y.push_back(v);
  for (auto v : s) out[1].y.push_back(sa.y0 + sa.dy * v);
  for (auto v : d) out[2].y.push_back(v != 0 ? 1.0 : 0.0);
  return out;
}

TEST(AnalysisCore, WholeRangeMeasuresMatchPlainComputations) {
  for (const Signal& sig : Signals()) {
    SCOPED_TRACE(sig.what);
    const an::SampleRange r = All(sig.data);
    const std::vector<double>& y = sig.y;
    const double n = static_cast<double>(y.size());
    double sum = 0, squares = 0, centred = 0, area = 0, energy = 0;
    for (double v : y) sum += v, squares += v * v;
    const double mean = sum / n;
    for (double v : y) centred += (v - mean) * (v - mean);
    for (std::size_t i = 0; i + 1 < y.size(); ++i)
      area += sig.dx * (y[i] + y[i + 1]) / 2,
      energy += sig.dx * (y[i] * y[i] + y[i + 1] * y[i + 1]) / 2;
    const an::Statistics st = an::ComputeStatistics(r);
    Near(st.mean, mean);
    Near(st.rms, std::sqrt(squares / n));
    Near(st.sigma, std::sqrt(centred / n));
    Near(st.area, area, std::sqrt(squares) * sig.dx);
    Near(st.energy, energy);

    const auto lo = std::min_element(y.begin(), y.end()), hi = std::max_element(y.begin(), y.end());
    const an::Extremes e = an::FindExtremes(r), fast = an::FindExtremesFast(r);
    const auto x = [&](auto it) { return r.X(static_cast<std::int32_t>(it - y.begin())); };
    EXPECT_EQ((std::vector{e.min, e.max, e.min_x, e.max_x, fast.min, fast.max}),
              (std::vector{*lo, *hi, x(lo), x(hi), *lo, *hi}));

    double sx = 0, sxy = 0, sxx = 0;
    for (auto it = y.begin(); it != y.end(); ++it) sx += x(it);
    const double mx = sx / n;
    for (auto it = y.begin(); it != y.end(); ++it)
      sxy += (x(it) - mx) * (*it - mean), sxx += (x(it) - mx) * (x(it) - mx);
    const an::LinearFit fit = an::FitLine(r);
    const double scale = std::sqrt(centred / sxx);  // a slope as large as the noise allows
    Near(fit.slope, sxy / sxx, scale);
    Near(fit.y0, mean - sxy / sxx * mx, scale * std::fabs(mx) + std::fabs(mean));

    // Bins found by searching their edges, Ybottom + k·width.
    const double bottom = *lo + 0.1 * (*hi - *lo), top = *hi - 0.2 * (*hi - *lo);
    const int bins = 37;
    std::vector<double> edges;
    for (int k = 1; k < bins; ++k) edges.push_back(bottom + k * (top - bottom) / bins);
    std::vector<std::int32_t> want(bins + 2), got(bins + 2);
    for (double v : y) {
      const auto k = std::upper_bound(edges.begin(), edges.end(), v) - edges.begin();
      ++want[v < bottom ? 0 : v > top ? bins + 1 : 1 + k];
    }
    ASSERT_EQ(an::ComputeHistogram(r, bottom, top, bins, got.data()), vardOK);
    EXPECT_EQ(got, want);
  }
}

// Millions of equal values: a running sum would drift, the blocks do not.
TEST(AnalysisCore, LongRangesLoseNoAccuracy) {
  const std::vector<float> v(1 << 23, 0.1f);
  const an::Statistics st = an::ComputeStatistics(All(Make(vardFloat, v)));
  EXPECT_EQ(st.mean, double{0.1f});
  EXPECT_EQ(st.sigma, 0.0);
  EXPECT_EQ(st.rms, double{0.1f});
}

// --- Signals with known answers ---------------------------------------------------

TEST(AnalysisCore, SineHasItsPeriodRmsPeaksAndCrossings) {
  const int period = 1000, cycles = 100;
  const double amplitude = 3.0, offset = 0.5, dx = 1.0 / 1024;
  std::vector<float> v(period * cycles);
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<float>(offset + amplitude * std::sin(2 * std::numbers::pi * i / period));
  const Snap s = Make(vardFloat, v, {0.0, dx});
  const an::SampleRange r = All(s);
  double p = 0;
  ASSERT_EQ(an::MeasurePeriod(r, &p), vardOK);
  Near(p, period * dx);
  EXPECT_NEAR(an::ComputeStatistics(r).rms, std::sqrt(offset * offset + amplitude * amplitude / 2),
              1e-6);
  double crest = 0;
  for (std::int16_t method : {vardCrestAboutReference, vardCrestAboutMean, vardCrestPeakToPeak})
    EXPECT_TRUE(an::CrestFactor(r, method, offset, &crest) == vardOK &&
                std::fabs(crest - std::numbers::sqrt2) < 1e-6) << method;
  // The first maximum forward from the start and the last minimum backward
  // from the end lie a quarter period in.
  an::Extreme e;
  ASSERT_EQ(an::FindLocalExtreme(r, vardForward, vardLocalMax, 1.0, &e), vardOK);
  EXPECT_EQ(std::pair(e.x, e.value), std::pair(period / 4 * dx, double{v[period / 4]}));
  ASSERT_EQ(an::FindLocalExtreme(r, vardBackward, vardLocalMin, 1.0, &e), vardOK);
  EXPECT_EQ(e.x, ((cycles - 1) * period + 3 * period / 4) * dx);
  // Falling through the offset: sample 500 holds it exactly and is its own
  // crossing point; a level between samples interpolates between them.
  an::Crossing c;
  ASSERT_EQ(an::FindLevelCrossing(r, vardForward, vardNegative, offset, &c), vardOK);
  EXPECT_EQ(std::pair(c.x, +c.kind), std::pair(period / 2 * dx, +vardNegative));
  ASSERT_EQ(an::FindLevelCrossing(r, vardForward, vardPositive, 2.0, &c), vardOK);
  Near(c.x, (83 + (2.0 - v[83]) / (v[84] - v[83])) * dx);  // 2 lies between samples 83 and 84
}

TEST(AnalysisCore, TrapezoidPulseHasItsRiseFallAndDuration) {
  // Base 2, top 102: 100 samples up, 300 on top, 40 down; exact in float.
  std::vector<float> up(500, 2.0f);
  for (int i = 0; i <= 100; ++i) up[100 + i] = 2.0f + i;
  std::fill(up.begin() + 201, up.begin() + 500, 102.0f);
  for (int i = 0; i <= 40; ++i) up.push_back(102.0f - 2.5f * i);
  up.resize(up.size() + 200, 2.0f);
  std::vector<float> down(up.size());
  for (std::size_t i = 0; i < up.size(); ++i) down[i] = 104.0f - up[i];
  const double dx = 0.25;
  for (const auto* v : {&up, &down}) {
    an::Pulse p;
    ASSERT_EQ(an::MeasurePulse(All(Make(vardFloat, *v, {0.0, dx})), &p), vardOK);
    Near(p.rise_time, (v == &up ? 80 : 32) * dx);  // 10 % to 90 % of each ramp
    Near(p.fall_time, (v == &up ? 32 : 80) * dx);
    Near(p.duration, (500 + 20 - 150) * dx);  // 50 % points: sample 150 and 520
  }
}

TEST(AnalysisCore, ScaledIntegerRampFitsExactly) {
  std::vector<std::int16_t> s(3000);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(i) - 1000;
  const Snap w = Make(vardInteger, s, {-3.0, 0.5, 2.5, 0.125});
  an::SampleRange r;
  ASSERT_EQ(an::ResolveRange(*w, 0, 100.0, 1000.0, 2, &r), vardOK);
  const an::LinearFit f = an::FitLine(r);
  EXPECT_EQ(std::pair(f.slope, f.y0), std::pair(0.25, 2.5 + 0.125 * (6 - 1000)));  // X 0: sample 6
}

// The worked examples of docs/analysis.md, one line each.
TEST(AnalysisCore, DocumentedExamplesHold) {
  std::vector<Snap> kept;  // a range does not own its snapshot
  auto all = [&](std::vector<float> v) { return All(kept.emplace_back(Make(vardFloat, v))); };
  // Also shorter than a vector of lanes, and with lanes that meet only NaN.
  const float nan = NAN;
  for (const auto& [y, min_x, max_x] : {std::tuple{std::vector<float>{3, 1, 4, 1, 5}, 1.0, 4.0},
                                        {{nan, 5, nan, 1, nan, 4, nan, 1}, 3.0, 1.0}}) {
    const an::SampleRange r = all(y);
    const an::Extremes m = an::FindExtremes(r), fast = an::FindExtremesFast(r);
    EXPECT_EQ((std::vector{m.min, m.max, m.min_x, m.max_x, fast.min, fast.max}),
              (std::vector{1.0, 5.0, min_x, max_x, 1.0, 5.0}));
  }
  an::Extreme e;
  ASSERT_EQ(an::FindLocalExtreme(all({5, 4, 6, 9, 9, 7, 8}), vardForward, vardLocalMax, 1, &e), 0);
  EXPECT_EQ(std::pair(e.value, e.x), std::pair(9.0, 3.0));
  an::Crossing c;
  ASSERT_EQ(an::FindLevelCrossing(all({0, 2, 4, 2, 0}), vardBackward, 0, 3, &c), vardOK);
  EXPECT_EQ(std::pair(c.x, +c.kind), std::pair(2.5, +vardNegative));
  std::vector<std::int32_t> h(6);
  ASSERT_EQ(an::ComputeHistogram(all({-1, 0, 0.5, 1.9f, 2, 3}), 0, 2, 4, h.data()), vardOK);
  EXPECT_EQ(h, (std::vector<std::int32_t>{1, 1, 1, 0, 2, 1}));
  an::Crest cr;
  ASSERT_EQ(an::MeasureCrest(all({0, 3, -4, 1, 0, 2}), 1.5, &cr), vardOK);
  EXPECT_EQ(std::pair(cr.peak_x, cr.excursions), std::pair(2.0, 2));
  Near(cr.factor, 4 / std::sqrt(5.0));
  an::SignalLoop loop;
  for (double tolerance : {0.1, 0.01}) {
    ASSERT_EQ(an::FindSignalLoop(all({0, 10, 0, 10, 0, 12, 0}), 1, 5, 2, tolerance, &loop), vardOK);
    EXPECT_EQ(loop.loops, tolerance > 0.05 ? 2 : 1);
    Near(loop.length, tolerance > 0.05 ? (4 + 5.0 / 12 - 0.5) / 2 : 2.0);
  }
}

// --- Ranges and refusals ------------------------------------------------------------

TEST(AnalysisCore, RangesRoundInwardsAndRefuseWhatHoldsNoSample) {
  const Snap w = Make(vardFloat, std::vector<float>(10), {0.0, 0.5});
  const struct {
    double from, to;
    std::int16_t direction;  // -1: a range, not a search
    std::int32_t min;
    std::uint16_t rc;
    std::int32_t first, last;
  } cases[] = {
      {0.7, 2.2, -1, 1, vardOK, 2, 4},
      {-5, 100, -1, 1, vardOK, 0, 9},
      {-INFINITY, INFINITY, -1, 1, vardOK, 0, 9},
      {1.5 - 1e-12, 2.0 - 1e-12, -1, 1, vardOK, 3, 4},  // a hair off the grid still addresses it
      {0.6, 0.9, -1, 1, vardNoSuchData, 0, 0},
      {5.0, 9.0, -1, 1, vardNoSuchData, 0, 0},
      {2.2, 0.7, -1, 1, vardInvalidParameter, 0, 0},
      {NAN, 1, -1, 1, vardInvalidParameter, 0, 0},
      {0, 0.5, -1, 3, vardSegmentToShort, 0, 0},
      {2.2, 0.7, vardBackward, 1, vardOK, 2, 4},
      {0.7, 2.2, vardBackward, 1, vardInvalidParameter, 0, 0},
      {0.7, 2.2, 2, 1, vardInvalidParameter, 0, 0},
  };
  an::SampleRange r;
  for (const auto& c : cases) {
    const auto rc = c.direction < 0
                        ? an::ResolveRange(*w, 0, c.from, c.to, c.min, &r)
                        : an::ResolveSearch(*w, 0, c.from, c.to, c.direction, c.min, &r);
    EXPECT_EQ(rc, c.rc) << c.from << " " << c.to;
    if (rc == vardOK) {
      EXPECT_EQ(std::pair(r.first, r.last), std::pair(c.first, c.last));
    }
  }
  EXPECT_EQ(an::ResolveRange(*w, 1, 0, 1, 1, &r), vardNoSuchData);  // no block 1
  EXPECT_EQ(an::ResolveRange(*Make(vardFloat, std::vector<float>(3), {0.0, 0.0}), 0, 0, 1, 1, &r),
            vardNoSuchData);  // no ordered X axis
}

// Through Dispatch: where results land (Value at 100, the crossing kind at
// 40, counts behind the record, HistogramAddress untouched).
TEST(AnalysisOps, RepliesLandInTheirFields) {
  Pool pool;
  testing::PoolClient client(pool);
  {
    Variable v;
    v.name = "wave", v.kind = Kind::Waveform;
    v.waveform = Make(vardFloat, std::vector<float>{0, 2, 4, 2, 0});
    pool.Write().Insert(std::move(v));
  }
  const auto& rec = client.Record<proto::AnalysisRequest>();
  auto send = [&](std::uint32_t op, auto&& fill) {
    auto& r = client.Begin<proto::AnalysisRequest>(op);
    testing::Put(r.Name, "WAVE");
    r.XBegin = 0, r.XEnd = 4, r.Direction = vardForward;
    fill(r);
    return client.Send(op);
  };
  EXPECT_EQ(send(proto::kWaveformFindLocalExtreme, [](auto& r) { r.ExtremeType = vardLocalMax; }),
            vardOK);
  EXPECT_EQ(std::pair(double{rec.Level}, double{rec.Position}), std::pair(4.0, 2.0));
  auto crossing = [](std::int16_t k) { return [=](auto& r) { r.CrossingType = k, r.Level = 3; }; };
  EXPECT_EQ(send(proto::kWaveformFindLevelCrossing, crossing(0)), vardOK);
  EXPECT_EQ(+rec.CrossingType, vardPositive);
  EXPECT_EQ(send(proto::kWaveformFindLevelCrossing, crossing(7)), vardInvalidParameter);
  EXPECT_EQ(+rec.CrossingType, 7);  // left as sent

  const auto* counts = reinterpret_cast<const std::int32_t*>(&rec + 1);
  for (std::int16_t bins : {2, 0, -1, proto::kMaxHistogramBins + 1, proto::kMaxHistogramBins}) {
    const auto rc = send(proto::kWaveformHistogram, [&](auto& r) {
      r.Ybottom = 0, r.Ytop = 4, r.NumberOfBins = bins, r.HistogramAddress = 0xDEADBEEF;
    });
    EXPECT_EQ(rc, bins == 2 || bins == proto::kMaxHistogramBins ? vardOK : vardInvalidParameter);
    EXPECT_EQ(+rec.HistogramAddress, 0xDEADBEEFu);
  }
  EXPECT_EQ(counts[proto::kMaxHistogramBins], 1);  // the 4 at Ytop, in the last bin
  EXPECT_EQ(counts[proto::kMaxHistogramBins + 1], 0);
}

}  // namespace
}  // namespace vard::server
