// Crest factors and signal loops (opcodes 100 to 102): decodes a StlRequest,
// whose general-purpose fields docs/analysis.md names, and measures the
// waveform's published snapshot with the analysis core, outside the pool's
// lock. Results are written only on success.
#include <cmath>
#include <cstddef>
#include <memory>

#include "server/core/analysis.h"
#include "server/core/dispatch.h"
#include "server/core/lookup.h"
#include "server/core/pool.h"
#include "server/core/request_io.h"

namespace vard::server {
namespace {

using proto::StlRequest;
namespace an = analysis;

#define VARD_AT(Field) offsetof(StlRequest, Field)

// Looks the waveform up and hands `measure` the request and the samples of
// block ShortArg1 (the whole block, or [RealArg1, RealArg2] when `ranged`).
template <class Measure>
std::uint32_t OnBlock(const RequestContext& ctx, bool ranged, std::int32_t min_samples,
                      Measure&& measure) {
  const auto req = ReadRecord<StlRequest>(ctx.block);
  std::shared_ptr<const WaveformData> data;
  auto rc = WithVariable(ctx.pool.Read(), FieldText(req.Name), Kind::Waveform,
                         [&](const Variable& v) { data = v.waveform; });
  if (rc != vardOK) return rc;
  an::SampleRange r;
  rc = ranged ? an::ResolveRange(*data, req.ShortArg1, req.RealArg1, req.RealArg2, min_samples, &r)
              : an::WholeBlock(*data, req.ShortArg1, min_samples, &r);
  return rc != vardOK ? rc : static_cast<std::uint32_t>(measure(req, r));
}

std::uint32_t Crest(const RequestContext& ctx) {
  return OnBlock(ctx, false, 1, [&](const StlRequest& req, const an::SampleRange& r) {
    an::Crest c;
    const auto rc = an::MeasureCrest(r, req.RealArg1, &c);
    if (rc != vardOK) return rc;
    WriteValue(ctx.block, VARD_AT(Result60), c.peak);
    WriteValue(ctx.block, VARD_AT(Result68), c.rms);
    WriteValue(ctx.block, VARD_AT(Result76), c.factor);
    WriteValue(ctx.block, VARD_AT(Result84), c.peak_x);
    WriteValue(ctx.block, VARD_AT(ShortResult), static_cast<std::int16_t>(c.excursions));
    return rc;
  });
}

std::uint32_t FindSignalLoop(const RequestContext& ctx) {
  return OnBlock(ctx, true, 3, [&](const StlRequest& req, const an::SampleRange& r) {
    an::SignalLoop loop;
    const auto rc =
        an::FindSignalLoop(r, req.ShortArg2, req.RealArg4, req.RealArg3, req.RealArg5, &loop);
    if (rc != vardOK) return rc;
    WriteValue(ctx.block, VARD_AT(Result76), loop.start);
    WriteValue(ctx.block, VARD_AT(Result84), loop.length);
    WriteValue(ctx.block, VARD_AT(ShortResult), static_cast<std::int16_t>(loop.loops));
    return rc;
  });
}

std::uint32_t CrestMethod(const RequestContext& ctx) {
  return OnBlock(ctx, false, 1, [&](const StlRequest& req, const an::SampleRange& r) {
    double factor = 0.0;
    const auto rc = an::CrestFactor(r, req.ShortArg2Method, req.RealArg1, &factor);
    if (rc != vardOK) return rc;
    WriteValue(ctx.block, VARD_AT(Result116), factor);
    WriteValue(ctx.block, VARD_AT(Result124), 20.0 * std::log10(factor));
    return rc;
  });
}

#undef VARD_AT

constexpr OpEntry kOps[] = {
    {proto::kStlCrest, Crest},
    {proto::kStlFindSignalLoop, FindSignalLoop},
    {proto::kStlCrestMethod, CrestMethod},
};

}  // namespace

std::span<const OpEntry> CrestOps() { return kOps; }

}  // namespace vard::server
