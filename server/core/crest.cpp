// Crest factors and signal loops: the measurements behind Stl_Crest,
// Stl_CrestMethod and Stl_FindSignalLoop, built on the analysis core.
#include <cmath>
#include <limits>

#include "server/core/analysis.h"
#include "server/core/analysis_samples.h"

namespace vard::server::analysis {

using namespace detail;

namespace {
constexpr std::int32_t kMaxCount = 32767;  // counts travel in a 16-bit field
constexpr double kInf = std::numeric_limits<double>::infinity();
}  // namespace

std::uint16_t MeasureCrest(const SampleRange& r, double threshold, Crest* out) {
  if (std::isnan(threshold)) return vardInvalidParameter;
  const Statistics s = ComputeStatistics(r);
  if (s.rms == 0.0) return vardNotFound;
  Crest c;
  c.rms = s.rms;
  std::int32_t at = r.first;
  bool inside = false;
  WithValues(*r.data, [&](const auto& v) {
    Walk(v, r, true, [&](std::int32_t i, double y) {
      const double a = std::fabs(y);
      if (a > c.peak) c.peak = a, at = i;
      const bool above = a > threshold;
      if (above && !inside && c.excursions < kMaxCount) ++c.excursions;
      inside = above;
      return true;
    });
  });
  c.peak_x = r.X(at);
  c.factor = c.peak / c.rms;
  *out = c;
  return vardOK;
}

std::uint16_t CrestFactor(const SampleRange& r, std::int16_t method, double reference,
                          double* factor) {
  if (std::isnan(reference)) return vardInvalidParameter;
  if (method != vardCrestAboutReference && method != vardCrestAboutMean &&
      method != vardCrestPeakToPeak)
    return vardInvalidParameter;
  const Extremes e = FindExtremesFast(r);
  const Statistics s = ComputeStatistics(r);
  double peak = 0.0, denominator = s.sigma;
  switch (method) {
    case vardCrestAboutReference:
      // mean((y − R)²) = (ȳ − R)² + σ², two non-negative terms
      peak = std::max(std::fabs(e.min - reference), std::fabs(e.max - reference));
      denominator = std::sqrt((s.mean - reference) * (s.mean - reference) + s.sigma * s.sigma);
      break;
    case vardCrestAboutMean:
      peak = std::max(std::fabs(e.min - s.mean), std::fabs(e.max - s.mean));
      break;
    default:
      peak = e.PeakToPeak() / 2;
      break;
  }
  if (denominator == 0.0) return vardNotFound;
  *factor = peak / denominator;
  return vardOK;
}

std::uint16_t FindSignalLoop(const SampleRange& r, std::int16_t edge, double level,
                             double hysteresis, double tolerance, SignalLoop* out) {
  if ((edge != vardPositive && edge != vardNegative) || std::isnan(level) ||
      !(hysteresis >= 0.0) || !(tolerance >= 0.0))
    return vardInvalidParameter;
  const double arm_rising = edge == vardPositive ? level - hysteresis : -kInf;
  const double arm_falling = edge == vardNegative ? level + hysteresis : kInf;
  SignalLoop loop;
  double previous = 0.0, first_length = 0.0, end = 0.0;
  bool started = false;
  WithValues(*r.data, [&](const auto& v) {
    ForEachArmedCrossing(v, r, level, arm_rising, arm_falling, [&](int, std::int32_t, double x) {
      if (!started) {
        started = true;
        loop.start = previous = x;
        return true;
      }
      const double length = x - previous;
      if (loop.loops == 0) first_length = length;
      if (tolerance > 0.0 && std::fabs(length - first_length) > tolerance * first_length)
        return false;
      ++loop.loops;
      end = previous = x;
      return loop.loops < kMaxCount;
    });
  });
  if (loop.loops == 0) return vardNotFound;
  loop.length = (end - loop.start) / loop.loops;
  *out = loop;
  return vardOK;
}

}  // namespace vard::server::analysis
