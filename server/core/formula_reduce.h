// The waveform reductions of the formula language: mean, rms, min, max and
// peak to peak of a whole waveform, measured by the analysis core
// (analysis.h) block by block.
#pragma once

#include "server/core/formula_parser.h"

namespace vard::server {
class WaveformData;
}

namespace vard::server::formula {

// The reduction `fn` (Mean, Rms, Minimum, Maximum or PeakToPeak) over every
// sample of every block of `data`, as physical values (analysis.h). Min, max
// and pp skip NaN samples; a NaN sample makes mean and rms NaN, and a
// waveform of nothing but NaN has a NaN minimum: the caller reports a
// non-finite result. False when there is no sample to measure: no block
// with a sample, or an X axis that is not ordered (analysis::WholeBlock).
bool ReduceWaveform(const WaveformData& data, Fn fn, double* out);

}  // namespace vard::server::formula
