// The waveform reductions of the formula language: mean, rms, min, max and
// peak to peak over every sample of every block of a published snapshot.
//
// This is the one place formulas reduce a waveform, so that it can be
// served by the waveform-analysis functions (analysis.h) once those exist.
#pragma once

#include "server/core/formula_parser.h"

namespace vard::server {
class WaveformData;
}

namespace vard::server::formula {

// The reduction `fn` (Mean, Rms, Minimum, Maximum or PeakToPeak) of the
// physical values of `data`: float samples as stored, integer samples as
// Y0 + YStep × sample, digital samples as their state. NaN samples are gaps
// and are skipped. False when no sample is left to reduce.
bool ReduceWaveform(const WaveformData& data, Fn fn, double* out);

}  // namespace vard::server::formula
