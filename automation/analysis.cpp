// Automation entries of waveform analysis. Each takes the waveform's name as
// a required text and hands its results back through the client's
// out-parameters; the histogram is made in the client's array.
#include "automation/entry.h"
#include "include/vard32.h"

using namespace vard::automation;

namespace {

// Every analysis entry requires the waveform's name (a null BSTR is refused
// before anything is called) and converts it into 500 bytes.
template <class Call>
long Analysis(BSTR Name, Call&& call) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    return call(TextIn<500>(Name));
  });
}

}  // namespace

extern "C" {

long __stdcall WaveformMinMaxTLB(BSTR Name, short BlockNumber, double XBegin, double XEnd,
                                 double* Min, double* Max, double* MinPos, double* MaxPos) {
  return Analysis(Name, [&](LPCSTR name) {
    return WaveformMinMax(name, BlockNumber, XBegin, XEnd, Min, Max, MinPos, MaxPos);
  });
}

long __stdcall WaveformFastMinMaxTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                     double* Min, double* Max) {
  return Analysis(Name, [&](LPCSTR name) {
    return WaveformFastMinMax(name, Block, XBegin, XEnd, Min, Max);
  });
}

long __stdcall WaveformFindLocalExtremeTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                           long Direction, long ExtremeType, double Hysterese,
                                           double* Value, double* Position) {
  return Analysis(Name, [&](LPCSTR name) {
    return WaveformFindLocalExtreme(name, Block, XBegin, XEnd,
                                    static_cast<short>(Direction), static_cast<short>(ExtremeType),
                                    Hysterese, Value, Position);
  });
}

// CrossingTypeFound is written only when the client gave a place for it.
// When the plain export cannot answer (1000, 1001) it holds the crossing
// type asked for, as the export's own reply does when nothing was found.
long __stdcall WaveformFindLevelCrossingTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                            long Direction, long CrossingType, double Level,
                                            double* Position, long* CrossingTypeFound) {
  return Analysis(Name, [&](LPCSTR name) -> long {
    short found = static_cast<short>(CrossingType);
    const short code = WaveformFindLevelCrossing(name, Block, XBegin, XEnd,
                                                 static_cast<short>(Direction), found, Level,
                                                 Position, &found);
    if (CrossingTypeFound) *CrossingTypeFound = found;
    return code;
  });
}

long __stdcall WaveformStatisticsTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                     double* Mean, double* RMS, double* Sigma,
                                     double* AreaUnderCurve, double* EnergyUnderCurve) {
  return Analysis(Name, [&](LPCSTR name) {
    return WaveformStatistics(name, Block, XBegin, XEnd, Mean, RMS, Sigma,
                              AreaUnderCurve, EnergyUnderCurve);
  });
}

// The counts go into a new array of NumberOfBins + 2 four-byte elements:
// at least what the export writes, which never sends more bins than the
// block can carry back. An array that cannot be made (a count below 0
// included) is a refused call.
long __stdcall WaveformHistogramTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                    double Ytop, double Ybottom, short NumberOfBins,
                                    SAFEARRAY** Histogram) {
  return Analysis(Name, [&](LPCSTR name) -> long {
    ResultArray counts(Histogram, sizeof(long), std::int64_t{NumberOfBins} + 2);
    if (!counts.Ready()) return vardInvalidParameter;
    return WaveformHistogram(name, Block, XBegin, XEnd, Ytop, Ybottom, NumberOfBins,
                             static_cast<long*>(counts.Data()));
  });
}

long __stdcall WaveformPulseParametersTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                          double* RiseTime, double* FallTime, double* Duration) {
  return Analysis(Name, [&](LPCSTR name) {
    return WaveformPulseParameters(name, Block, XBegin, XEnd, RiseTime, FallTime,
                                   Duration);
  });
}

long __stdcall WaveformPeriodTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                 double* Period) {
  return Analysis(Name, [&](LPCSTR name) {
    return WaveformPeriod(name, Block, XBegin, XEnd, Period);
  });
}

long __stdcall WaveformLinFitTLB(BSTR Name, short Block, double XBegin, double XEnd, double* Y0,
                                 double* Slope) {
  return Analysis(Name, [&](LPCSTR name) {
    return WaveformLinFit(name, Block, XBegin, XEnd, Y0, Slope);
  });
}

}  // extern "C"
