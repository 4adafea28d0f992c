// Waveform analysis: nine measurements the server computes over a range of
// one block of a named waveform (docs/analysis.md). One AnalysisRequest per
// call; the library only carries parameters in and results out, whatever the
// reply code, and clamps the histogram's bin count to what the block can
// carry back.
#include <cstdint>
#include <cstring>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::AnalysisRequest;

namespace {

// One analysis request: the common fields, then `fill` for the operation's
// own inputs; `copyOut` hands the reply fields to the caller whatever the
// reply code (fields the server left alone come back as zero).
template <class Fill, class CopyOut>
short Analyse(std::uint32_t opcode, LPCSTR Name, short Block, double XBegin, double XEnd,
              Fill&& fill, CopyOut&& copyOut) {
  return StandardRequest([&](ServerConnection& c) {
    return Exchange<AnalysisRequest>(
        c, opcode,
        [&](AnalysisRequest& r) {
          link::PutText(r.Name, Name);
          r.Block = Block;
          r.XBegin = XBegin;
          r.XEnd = XEnd;
          fill(r);
        },
        copyOut);
  });
}

void NoInputs(AnalysisRequest&) {}

// What travels in HistogramAddress: an opaque 32-bit tag of the caller's
// buffer (its address, or the address's low 32 bits where addresses are
// wider). Nothing ever turns it back into a pointer; the counts go to the
// caller's Histogram argument itself.
std::uint32_t HistogramTag(const void* histogram) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(histogram));
}

// Copies b + 2 counts from behind the record `r` (at the start of the block)
// to the caller's buffer, b being the reply's bin count lowered to what was
// sent; a negative b copies nothing. False when the buffer cannot take them.
bool CopyCounts(const AnalysisRequest& r, std::int16_t sent, long* Histogram) {
  const std::int16_t reply = r.NumberOfBins;
  const std::int32_t b = reply > sent ? sent : reply;
  if (b < 0) return true;
  const std::size_t bytes = static_cast<std::size_t>(b + 2) * 4;
  const auto* counts = reinterpret_cast<const std::uint8_t*>(&r) + sizeof(AnalysisRequest);
  return link::SehGuard([&] { std::memcpy(Histogram, counts, bytes); });
}

}  // namespace

extern "C" {

short __stdcall WaveformMinMax(LPCSTR Name, short BlockNumber, double XBegin, double XEnd,
                               double* Min, double* Max, double* MinPos, double* MaxPos) {
  return Analyse(proto::kWaveformMinMax, Name, BlockNumber, XBegin, XEnd, NoInputs,
                 [&](const AnalysisRequest& r) {
                   *Min = r.Min;
                   *Max = r.Max;
                   *MinPos = r.MinPos;
                   *MaxPos = r.MaxPos;
                 });
}

short __stdcall WaveformFastMinMax(LPCSTR Name, short Block, double XBegin, double XEnd,
                                   double* Min, double* Max) {
  return Analyse(proto::kWaveformFastMinMax, Name, Block, XBegin, XEnd, NoInputs,
                 [&](const AnalysisRequest& r) {
                   *Min = r.Min;
                   *Max = r.Max;
                 });
}

short __stdcall WaveformFindLocalExtreme(LPCSTR Name, short Block, double XBegin, double XEnd,
                                         short Direction, short ExtremeType, double Hysterese,
                                         double* Value, double* Position) {
  return Analyse(
      proto::kWaveformFindLocalExtreme, Name, Block, XBegin, XEnd,
      [&](AnalysisRequest& r) {
        r.Direction = Direction;
        r.ExtremeType = ExtremeType;
        r.Hysterese = Hysterese;
      },
      [&](const AnalysisRequest& r) {
        *Value = r.Level;  // the reply's Value shares Level's place
        *Position = r.Position;
      });
}

short __stdcall WaveformFindLevelCrossing(LPCSTR Name, short Block, double XBegin, double XEnd,
                                          short Direction, short CrossingType, double Level,
                                          double* Position, short* CrossingTypeFound) {
  return Analyse(
      proto::kWaveformFindLevelCrossing, Name, Block, XBegin, XEnd,
      [&](AnalysisRequest& r) {
        r.Direction = Direction;
        r.CrossingType = CrossingType;
        r.Level = Level;
      },
      [&](const AnalysisRequest& r) {
        *Position = r.Position;
        *CrossingTypeFound = r.CrossingType;  // as sent, unless the server found one
      });
}

short __stdcall WaveformStatistics(LPCSTR Name, short Block, double XBegin, double XEnd,
                                   double* Mean, double* RMS, double* Sigma,
                                   double* AreaUnderCurve, double* EnergyUnderCurve) {
  return Analyse(proto::kWaveformStatistics, Name, Block, XBegin, XEnd, NoInputs,
                 [&](const AnalysisRequest& r) {
                   *Mean = r.Mean;
                   *RMS = r.RMS;
                   *Sigma = r.Sigma;
                   *AreaUnderCurve = r.AreaUnderCurve;
                   *EnergyUnderCurve = r.EnergyUnderCurve;
                 });
}

short __stdcall WaveformHistogram(LPCSTR Name, short Block, double XBegin, double XEnd,
                                  double Ytop, double Ybottom, short NumberOfBins,
                                  long* Histogram) {
  // Bins sent: as asked, up to what fits behind the record with its 2 extra
  // counts (a signed comparison: a negative count goes as it is).
  const std::int16_t bins =
      NumberOfBins < proto::kMaxHistogramBins ? NumberOfBins : proto::kMaxHistogramBins;
  bool copied = true;
  const short code = Analyse(
      proto::kWaveformHistogram, Name, Block, XBegin, XEnd,
      [&](AnalysisRequest& r) {
        r.Ytop = Ytop;
        r.Ybottom = Ybottom;
        r.NumberOfBins = bins;
        r.HistogramAddress = HistogramTag(Histogram);
      },
      [&](const AnalysisRequest& r) { copied = CopyCounts(r, bins, Histogram); });
  return copied ? code : static_cast<short>(vardBufferToSmall);
}

short __stdcall WaveformPulseParameters(LPCSTR Name, short Block, double XBegin, double XEnd,
                                        double* RiseTime, double* FallTime, double* Duration) {
  return Analyse(proto::kWaveformPulseParameters, Name, Block, XBegin, XEnd, NoInputs,
                 [&](const AnalysisRequest& r) {
                   *RiseTime = r.RiseTime;
                   *FallTime = r.FallTime;
                   *Duration = r.Duration;
                 });
}

short __stdcall WaveformPeriod(LPCSTR Name, short Block, double XBegin, double XEnd,
                               double* Period) {
  return Analyse(proto::kWaveformPeriod, Name, Block, XBegin, XEnd, NoInputs,
                 [&](const AnalysisRequest& r) { *Period = r.Period; });
}

short __stdcall WaveformLinFit(LPCSTR Name, short Block, double XBegin, double XEnd, double* Y0,
                               double* Slope) {
  return Analyse(proto::kWaveformLinFit, Name, Block, XBegin, XEnd, NoInputs,
                 [&](const AnalysisRequest& r) {
                   *Y0 = r.Y0;
                   *Slope = r.Slope;
                 });
}

// The wide forms convert only the name, into a 500-character buffer; the
// request field keeps its first 29 characters.

short __stdcall WaveformMinMaxW(LPCWSTR Name, short BlockNumber, double XBegin, double XEnd,
                                double* Min, double* Max, double* MinPos, double* MaxPos) {
  return link::WideFrame([&] {
    return WaveformMinMax(link::AnsiText<500>(Name), BlockNumber, XBegin, XEnd, Min, Max, MinPos,
                          MaxPos);
  });
}

short __stdcall WaveformFastMinMaxW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                    double* Min, double* Max) {
  return link::WideFrame([&] {
    return WaveformFastMinMax(link::AnsiText<500>(Name), Block, XBegin, XEnd, Min, Max);
  });
}

short __stdcall WaveformFindLocalExtremeW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                          short Direction, short ExtremeType, double Hysterese,
                                          double* Value, double* Position) {
  return link::WideFrame([&] {
    return WaveformFindLocalExtreme(link::AnsiText<500>(Name), Block, XBegin, XEnd, Direction,
                                    ExtremeType, Hysterese, Value, Position);
  });
}

short __stdcall WaveformFindLevelCrossingW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                           short Direction, short CrossingType, double Level,
                                           double* Position, short* CrossingTypeFound) {
  return link::WideFrame([&] {
    return WaveformFindLevelCrossing(link::AnsiText<500>(Name), Block, XBegin, XEnd, Direction,
                                     CrossingType, Level, Position, CrossingTypeFound);
  });
}

short __stdcall WaveformStatisticsW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                    double* Mean, double* RMS, double* Sigma,
                                    double* AreaUnderCurve, double* EnergyUnderCurve) {
  return link::WideFrame([&] {
    return WaveformStatistics(link::AnsiText<500>(Name), Block, XBegin, XEnd, Mean, RMS, Sigma,
                              AreaUnderCurve, EnergyUnderCurve);
  });
}

short __stdcall WaveformHistogramW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                   double Ytop, double Ybottom, short NumberOfBins,
                                   long* Histogram) {
  return link::WideFrame([&] {
    return WaveformHistogram(link::AnsiText<500>(Name), Block, XBegin, XEnd, Ytop, Ybottom,
                             NumberOfBins, Histogram);
  });
}

short __stdcall WaveformPulseParametersW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                         double* RiseTime, double* FallTime, double* Duration) {
  return link::WideFrame([&] {
    return WaveformPulseParameters(link::AnsiText<500>(Name), Block, XBegin, XEnd, RiseTime,
                                   FallTime, Duration);
  });
}

short __stdcall WaveformPeriodW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                double* Period) {
  return link::WideFrame(
      [&] { return WaveformPeriod(link::AnsiText<500>(Name), Block, XBegin, XEnd, Period); });
}

short __stdcall WaveformLinFitW(LPCWSTR Name, short Block, double XBegin, double XEnd, double* Y0,
                                double* Slope) {
  return link::WideFrame(
      [&] { return WaveformLinFit(link::AnsiText<500>(Name), Block, XBegin, XEnd, Y0, Slope); });
}

}  // extern "C"
