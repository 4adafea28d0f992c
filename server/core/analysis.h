// Waveform measurements over a range of samples of one block of a published
// waveform snapshot, computed in place: no sample is copied.
//
// This is the one implementation of every measurement the server offers:
// the analysis operations (ops_analysis.cpp), the crest and signal-loop
// operations (ops_crest.cpp) and any family that needs a mean, an RMS, a
// minimum, a maximum or a peak-to-peak value of a waveform call it.
// docs/analysis.md defines every result; the comments here say how to call.
//
// Values are physical: a float sample as it is, an integer sample as
// Y0 + YStep·s, a digital sample as its state 0 or 1. Positions are X values,
// X0 + i·XStep. Functions that can fail return a vardReturnCode value and
// write their result only on vardOK; none throws. Everything here is safe to
// call from several threads on the same snapshot.
#pragma once

#include <cstdint>

#include "include/vard_enums.h"
#include "server/core/waveform.h"

namespace vard::server::analysis {

// Samples first..last (inclusive, first <= last) of one block of a snapshot.
// Made by ResolveRange, ResolveSearch or WholeBlock; the snapshot must
// outlive it.
struct SampleRange {
  const WaveformData* data = nullptr;
  int block = 0;
  std::int32_t first = 0;
  std::int32_t last = -1;

  std::int32_t size() const { return last - first + 1; }
  double X(std::int32_t i) const { return data->x().origin + data->x().step * i; }
};

// The samples of `block` whose X lies in [x_begin, x_end], rounded inwards
// and clamped to the block (±infinity allowed). Answers
//   vardInvalidParameter  x_begin or x_end NaN, or x_begin > x_end
//   vardNoSuchData        no such block, an empty waveform, an XStep that is
//                         not positive and finite, or no sample inside
//   vardSegmentToShort    fewer than `min_samples` samples
std::uint16_t ResolveRange(const WaveformData& data, int block, double x_begin, double x_end,
                           std::int32_t min_samples, SampleRange* out);

// The samples a search from x_from towards x_to covers: as ResolveRange, but
// x_to must lie on the `direction` side of x_from (vardInvalidParameter
// otherwise, or for a direction that is neither vardForward nor vardBackward).
std::uint16_t ResolveSearch(const WaveformData& data, int block, double x_from, double x_to,
                            std::int16_t direction, std::int32_t min_samples, SampleRange* out);

// Every sample of `block`; the codes of ResolveRange.
std::uint16_t WholeBlock(const WaveformData& data, int block, std::int32_t min_samples,
                         SampleRange* out);

// --- Measures over the whole range: one pass, no failure ---------------------

struct Extremes {
  double min = 0.0;
  double max = 0.0;
  double min_x = 0.0;  // X of the first sample holding min (FindExtremes only)
  double max_x = 0.0;  // X of the first sample holding max (FindExtremes only)
  double PeakToPeak() const { return max - min; }
};
// Minimum and maximum with their first positions. NaN samples are skipped;
// a range of nothing but NaN gives NaN everywhere.
Extremes FindExtremes(const SampleRange& r);
// The same minimum and maximum without positions (min_x and max_x stay 0).
Extremes FindExtremesFast(const SampleRange& r);

struct Statistics {
  std::int64_t count = 0;
  double mean = 0.0;
  double rms = 0.0;
  double sigma = 0.0;   // population standard deviation (divided by n)
  double area = 0.0;    // trapezoidal integral of y over X
  double energy = 0.0;  // trapezoidal integral of y² over X
};
Statistics ComputeStatistics(const SampleRange& r);

struct LinearFit {
  double y0 = 0.0;  // the line at X = 0
  double slope = 0.0;
};
// Least squares over the range; the range must hold at least 2 samples.
LinearFit FitLine(const SampleRange& r);

// Histogram of `bins` equal bins over [bottom, top] into counts[0 .. bins+1]:
// counts[0] below bottom, counts[1 .. bins] the bins (top itself in the last
// one), counts[bins+1] above top; NaN counted nowhere. vardInvalidParameter
// unless 1 <= bins <= proto::kMaxHistogramBins and bottom < top, both finite;
// vardOutOfMemory when its working memory cannot be had.
std::uint16_t ComputeHistogram(const SampleRange& r, double bottom, double top, std::int32_t bins,
                               std::int32_t* counts);

// --- Searches and transitions (docs/analysis.md has each definition) --------

// The first local extreme from the range's start in `direction` (a range from
// ResolveSearch). vardInvalidParameter for an ExtremeType other than
// vardLocalMin or vardLocalMax or a hysteresis that is negative or NaN;
// vardNotFound when none is confirmed.
struct Extreme {
  double value = 0.0;
  double x = 0.0;
};
std::uint16_t FindLocalExtreme(const SampleRange& r, std::int16_t direction,
                               std::int16_t extreme_type, double hysteresis, Extreme* out);

// The first crossing of `level` of the kind asked (a vardWaveformCrossing
// value) in `direction`. vardInvalidParameter for another kind or a NaN
// level; vardNotFound when there is none.
struct Crossing {
  double x = 0.0;
  std::int16_t kind = 0;  // vardPositive or vardNegative
};
std::uint16_t FindLevelCrossing(const SampleRange& r, std::int16_t direction, std::int16_t kind,
                                double level, Crossing* out);

struct Pulse {
  double rise_time = 0.0;
  double fall_time = 0.0;
  double duration = 0.0;  // between the two 50 % crossings
};
// IEEE 181 rise, fall and duration of the first pulse; vardNotFound for a
// flat range or one without a whole pulse.
std::uint16_t MeasurePulse(const SampleRange& r, Pulse* out);

// Mean period over the whole cycles between rising mid-level crossings;
// vardNotFound for fewer than two.
std::uint16_t MeasurePeriod(const SampleRange& r, double* period);

// --- Crest factors and signal loops (crest.cpp) ---------------------------------

struct Crest {
  double peak = 0.0;    // max |y|
  double rms = 0.0;
  double factor = 0.0;  // peak / rms
  double peak_x = 0.0;  // X of the first sample with |y| = peak
  std::int32_t excursions = 0;  // runs of |y| > threshold
};
// vardInvalidParameter for a NaN threshold; vardNotFound when the RMS is 0.
std::uint16_t MeasureCrest(const SampleRange& r, double threshold, Crest* out);

// Crest factor by method (a vardCrestMethod value); vardInvalidParameter for
// an unknown method or a NaN reference, vardNotFound when the method's
// denominator is 0.
std::uint16_t CrestFactor(const SampleRange& r, std::int16_t method, double reference,
                          double* factor);

struct SignalLoop {
  double start = 0.0;   // X of the first loop's starting crossing
  double length = 0.0;  // mean loop length over the repeating segment
  std::int32_t loops = 0;
};
// The repeating segment that starts at the first counted `edge` crossing
// (vardPositive or vardNegative) of `level`. vardInvalidParameter for another
// edge, a NaN level, a negative or NaN hysteresis or tolerance; vardNotFound
// for fewer than two counted crossings.
std::uint16_t FindSignalLoop(const SampleRange& r, std::int16_t edge, double level,
                             double hysteresis, double tolerance, SignalLoop* out);

}  // namespace vard::server::analysis
