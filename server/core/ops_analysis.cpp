// Waveform analysis (opcodes 70 to 78): decodes an AnalysisRequest, takes the
// waveform's published snapshot under the pool's shared lock, and measures it
// with no lock held (the snapshot is immutable and stays alive while we hold
// it, whatever writers publish meanwhile). Results are written only on
// success. HistogramAddress is the client's number: never read, never
// written, never used as an address.
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "server/core/analysis.h"
#include "server/core/dispatch.h"
#include "server/core/lookup.h"
#include "server/core/pool.h"
#include "server/core/request_io.h"

namespace vard::server {
namespace {

using proto::AnalysisRequest;
namespace an = analysis;

#define VARD_AT(Field) offsetof(AnalysisRequest, Field)

// Looks the waveform up and hands `measure` the request and the snapshot.
template <class Measure>
std::uint32_t WithWaveform(const RequestContext& ctx, Measure&& measure) {
  const auto req = ReadRecord<AnalysisRequest>(ctx.block);
  std::shared_ptr<const WaveformData> data;
  const auto rc = WithVariable(ctx.pool.Read(), FieldText(req.Name), Kind::Waveform,
                               [&](const Variable& v) { data = v.waveform; });
  if (rc != vardOK) return rc;
  return measure(req, *data);
}

// The analyses over [XBegin, XEnd] of at least `min_samples` samples.
template <class Measure>
std::uint32_t OnRange(const RequestContext& ctx, std::int32_t min_samples, Measure&& measure) {
  return WithWaveform(ctx, [&](const AnalysisRequest& req, const WaveformData& d) {
    an::SampleRange r;
    const auto rc = an::ResolveRange(d, req.Block, req.XBegin, req.XEnd, min_samples, &r);
    return rc != vardOK ? rc : static_cast<std::uint32_t>(measure(req, r));
  });
}

// The searches from XBegin towards XEnd in Direction.
template <class Measure>
std::uint32_t OnSearch(const RequestContext& ctx, std::int32_t min_samples, Measure&& measure) {
  return WithWaveform(ctx, [&](const AnalysisRequest& req, const WaveformData& d) {
    an::SampleRange r;
    const auto rc =
        an::ResolveSearch(d, req.Block, req.XBegin, req.XEnd, req.Direction, min_samples, &r);
    return rc != vardOK ? rc : static_cast<std::uint32_t>(measure(req, r));
  });
}

std::uint32_t MinMax(const RequestContext& ctx) {
  return OnRange(ctx, 1, [&](const AnalysisRequest&, const an::SampleRange& r) {
    const an::Extremes e = an::FindExtremes(r);
    WriteValue(ctx.block, VARD_AT(Min), e.min);
    WriteValue(ctx.block, VARD_AT(Max), e.max);
    WriteValue(ctx.block, VARD_AT(MinPos), e.min_x);
    WriteValue(ctx.block, VARD_AT(MaxPos), e.max_x);
    return vardOK;
  });
}

std::uint32_t FastMinMax(const RequestContext& ctx) {
  return OnRange(ctx, 1, [&](const AnalysisRequest&, const an::SampleRange& r) {
    const an::Extremes e = an::FindExtremesFast(r);
    WriteValue(ctx.block, VARD_AT(Min), e.min);
    WriteValue(ctx.block, VARD_AT(Max), e.max);
    return vardOK;
  });
}

std::uint32_t FindLocalExtreme(const RequestContext& ctx) {
  return OnSearch(ctx, 3, [&](const AnalysisRequest& req, const an::SampleRange& r) {
    an::Extreme e;
    const auto rc = an::FindLocalExtreme(r, req.Direction, req.ExtremeType, req.Hysterese, &e);
    if (rc != vardOK) return rc;
    WriteValue(ctx.block, VARD_AT(Level), e.value);  // Value shares Level's place
    WriteValue(ctx.block, VARD_AT(Position), e.x);
    return rc;
  });
}

std::uint32_t FindLevelCrossing(const RequestContext& ctx) {
  return OnSearch(ctx, 2, [&](const AnalysisRequest& req, const an::SampleRange& r) {
    an::Crossing c;
    const auto rc = an::FindLevelCrossing(r, req.Direction, req.CrossingType, req.Level, &c);
    if (rc != vardOK) return rc;
    WriteValue(ctx.block, VARD_AT(Position), c.x);
    WriteValue(ctx.block, VARD_AT(CrossingType), c.kind);  // CrossingTypeFound
    return rc;
  });
}

std::uint32_t Statistics(const RequestContext& ctx) {
  return OnRange(ctx, 1, [&](const AnalysisRequest&, const an::SampleRange& r) {
    const an::Statistics s = an::ComputeStatistics(r);
    WriteValue(ctx.block, VARD_AT(Mean), s.mean);
    WriteValue(ctx.block, VARD_AT(RMS), s.rms);
    WriteValue(ctx.block, VARD_AT(Sigma), s.sigma);
    WriteValue(ctx.block, VARD_AT(AreaUnderCurve), s.area);
    WriteValue(ctx.block, VARD_AT(EnergyUnderCurve), s.energy);
    return vardOK;
  });
}

// The counts follow the record: b + 2 of them fit the block for every b the
// core accepts.
std::uint32_t Histogram(const RequestContext& ctx) {
  static_assert(sizeof(AnalysisRequest) + (proto::kMaxHistogramBins + 2) * 4 <= proto::kBlockSize);
  return OnRange(ctx, 1, [&](const AnalysisRequest& req, const an::SampleRange& r) {
    const std::int32_t bins = req.NumberOfBins;
    std::vector<std::int32_t> counts(static_cast<std::size_t>(bins > 0 ? bins + 2 : 0));
    const auto rc = an::ComputeHistogram(r, req.Ybottom, req.Ytop, bins, counts.data());
    if (rc == vardOK)
      std::memcpy(ctx.block + sizeof(AnalysisRequest), counts.data(), counts.size() * 4);
    return rc;
  });
}

std::uint32_t PulseParameters(const RequestContext& ctx) {
  return OnRange(ctx, 3, [&](const AnalysisRequest&, const an::SampleRange& r) {
    an::Pulse p;
    const auto rc = an::MeasurePulse(r, &p);
    if (rc != vardOK) return rc;
    WriteValue(ctx.block, VARD_AT(RiseTime), p.rise_time);
    WriteValue(ctx.block, VARD_AT(FallTime), p.fall_time);
    WriteValue(ctx.block, VARD_AT(Duration), p.duration);
    return rc;
  });
}

std::uint32_t Period(const RequestContext& ctx) {
  return OnRange(ctx, 3, [&](const AnalysisRequest&, const an::SampleRange& r) {
    double period = 0.0;
    const auto rc = an::MeasurePeriod(r, &period);
    if (rc == vardOK) WriteValue(ctx.block, VARD_AT(Period), period);
    return rc;
  });
}

std::uint32_t LinFit(const RequestContext& ctx) {
  return OnRange(ctx, 2, [&](const AnalysisRequest&, const an::SampleRange& r) {
    const an::LinearFit f = an::FitLine(r);
    WriteValue(ctx.block, VARD_AT(Y0), f.y0);
    WriteValue(ctx.block, VARD_AT(Slope), f.slope);
    return vardOK;
  });
}

#undef VARD_AT

constexpr OpEntry kOps[] = {
    {proto::kWaveformMinMax, MinMax},
    {proto::kWaveformFastMinMax, FastMinMax},
    {proto::kWaveformFindLocalExtreme, FindLocalExtreme},
    {proto::kWaveformFindLevelCrossing, FindLevelCrossing},
    {proto::kWaveformStatistics, Statistics},
    {proto::kWaveformHistogram, Histogram},
    {proto::kWaveformPulseParameters, PulseParameters},
    {proto::kWaveformPeriod, Period},
    {proto::kWaveformLinFit, LinFit},
};

}  // namespace

std::span<const OpEntry> AnalysisOps() { return kOps; }

}  // namespace vard::server
