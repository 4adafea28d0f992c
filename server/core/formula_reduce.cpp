#include "server/core/formula_reduce.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "server/core/analysis.h"

namespace vard::server::formula {

// Every block has the same length, so the blocks' means and mean squares
// combine weighted by their counts; their extremes combine as extremes, a
// block of nothing but NaN (a NaN extreme) leaving the others' alone.
bool ReduceWaveform(const WaveformData& data, Fn fn, double* out) {
  const bool extremes = fn == Fn::Minimum || fn == Fn::Maximum || fn == Fn::PeakToPeak;
  if ((!extremes && fn != Fn::Mean && fn != Fn::Rms) || data.blocks() < 1) return false;
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  analysis::Extremes all{kNaN, kNaN, 0.0, 0.0};
  double count = 0, sum = 0, sum_of_squares = 0;
  for (int block = 0; block < data.blocks(); ++block) {
    analysis::SampleRange r;
    if (analysis::WholeBlock(data, block, 1, &r) != vardOK) return false;
    if (extremes) {
      const analysis::Extremes e = analysis::FindExtremesFast(r);
      all.min = std::fmin(all.min, e.min);
      all.max = std::fmax(all.max, e.max);
    } else {
      const analysis::Statistics s = analysis::ComputeStatistics(r);
      const auto n = static_cast<double>(s.count);
      count += n;
      sum += n * s.mean;
      sum_of_squares += n * s.rms * s.rms;
    }
  }
  switch (fn) {
    case Fn::Mean:
      *out = sum / count;
      break;
    case Fn::Rms:
      *out = std::sqrt(sum_of_squares / count);
      break;
    case Fn::Minimum:
      *out = all.min;
      break;
    case Fn::Maximum:
      *out = all.max;
      break;
    default:
      *out = all.PeakToPeak();
      break;
  }
  return true;
}

}  // namespace vard::server::formula
