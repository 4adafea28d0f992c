// The waveform store on its own, without transport.
//
// Write100M: a writer takes 100 million floats in the chunks WriteWaveform
// sends (16168 samples), then publishes. Peak resident memory must stay near
// the 400 MB of sample bytes: the server is a 32-bit process.
// Read*: one request of GetWaveformData after another, each the size the
// library asks for (8084 floats or 16168 two-byte samples, fewer samples per
// request when they are reduced in whole groups), over a 10-million-sample
// waveform.
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target waveform_store_bench
//   build/bench/bench/waveform_store_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <vector>

#include "server/core/waveform.h"

namespace vard::server {
namespace {

constexpr std::int32_t kWriteChunk = 16168;  // floats per WriteWaveform request
constexpr std::size_t kReplyBytes = 32336;   // largest GetWaveformData reply
constexpr std::int32_t kReadSamples = 10'000'000;

double PeakRssBytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) * 1024.0;  // kilobytes on Linux
}

std::shared_ptr<const WaveformData> Empty(std::int16_t type) {
  std::shared_ptr<const WaveformData> d;
  WaveformData::Create(type, &d);
  return d;
}

void Write100M(benchmark::State& state) {
  const std::int64_t total = 100'000'000;
  std::vector<float> chunk(kWriteChunk);
  for (std::int32_t i = 0; i < kWriteChunk; ++i) chunk[static_cast<std::size_t>(i)] = 0.25f * i;
  // Taken once: a repetition must not count the previous run's peak as its baseline.
  static const double before = PeakRssBytes();
  double stored = 0, peak = 0;
  for (auto _ : state) {
    WaveformWriter w(Empty(vardFloat));
    for (std::int64_t s = 0; s < total; s += kWriteChunk) {
      const auto first = static_cast<std::int32_t>(s);
      const auto last =
          static_cast<std::int32_t>(std::min<std::int64_t>(total, s + kWriteChunk) - 1);
      if (w.Write(first, last, chunk.data(), chunk.size() * sizeof(float)) != 0) {
        state.SkipWithError("write refused");
        return;
      }
    }
    auto snapshot = w.Publish();
    benchmark::DoNotOptimize(snapshot);
    stored = static_cast<double>(snapshot->storedBytes());
    peak = PeakRssBytes();
  }
  state.SetBytesProcessed(state.iterations() * total * 4);
  state.counters["peak_rss_MB"] = peak / 1e6;
  state.counters["rss_growth_B_per_sample"] = (peak - before) / static_cast<double>(total);
  state.counters["stored_B_per_sample"] = stored / static_cast<double>(total);
}
// Runs first so the peak it reports is its own.
BENCHMARK(Write100M)->Iterations(1)->Unit(benchmark::kMillisecond);

// A 10-million-sample waveform of the given type with non-trivial contents.
const WaveformData& Source(std::int16_t type) {
  static std::shared_ptr<const WaveformData> cache[5];
  auto& d = cache[type];
  if (!d) {
    WaveformWriter w(Empty(type));
    w.SetVertical(0.5, 0.001, "V");
    std::vector<float> f(kWriteChunk);
    std::vector<std::int16_t> s(kWriteChunk);
    for (std::int32_t first = 0; first < kReadSamples; first += kWriteChunk) {
      const std::int32_t n = std::min(kWriteChunk, kReadSamples - first);
      for (std::int32_t i = 0; i < n; ++i) {
        const auto v = static_cast<std::int32_t>(std::int64_t{first + i} * 7919 % 20011) - 10000;
        f[static_cast<std::size_t>(i)] = static_cast<float>(v);
        s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(v);
      }
      const void* src = type == vardFloat ? static_cast<const void*>(f.data()) : s.data();
      w.Write(first, first + n - 1, src, static_cast<std::size_t>(n) * ElementSize(type));
    }
    d = w.Publish();
  }
  return *d;
}

// Arguments: stored type, requested type, reduction.
void Read(benchmark::State& state) {
  const auto stored = static_cast<std::int16_t>(state.range(0));
  const auto wanted = static_cast<std::int16_t>(state.range(1));
  const auto r = static_cast<std::uint16_t>(state.range(2));
  const WaveformData& d = Source(stored);
  // The library's request size: K = 64674 / (2·E), cut to whole groups.
  const std::int32_t k = static_cast<std::int32_t>(64674 / (2 * ElementSize(wanted)));
  const std::int32_t n = r <= 1 ? k : (k >= r ? k / r * r : k);
  std::vector<std::byte> reply(kReplyBytes);
  std::int32_t first = 0;
  std::size_t got = 0;
  for (auto _ : state) {
    if (first + n > kReadSamples) first = 0;
    if (d.Read(0, first, first + n - 1, r, wanted, reply.data(), reply.size(), &got) != 0) {
      state.SkipWithError("read refused");
      return;
    }
    benchmark::DoNotOptimize(reply.data());
    first += n;
  }
  // Bytes of samples scanned, in the stored type: comparable across reductions.
  state.SetBytesProcessed(state.iterations() * n * static_cast<std::int64_t>(ElementSize(stored)));
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(Read)
    ->ArgNames({"stored", "as", "R"})
    ->Args({vardFloat, vardFloat, 1})
    ->Args({vardFloat, vardFloat, 16})
    ->Args({vardFloat, vardFloat, 1000})
    ->Args({vardFloat, vardInteger, 1})
    ->Args({vardInteger, vardInteger, 1})
    ->Args({vardInteger, vardFloat, 1})
    ->Args({vardInteger, vardFloat, 16})
    ->Args({vardDigital, vardDigital, 16});

}  // namespace
}  // namespace vard::server

BENCHMARK_MAIN();
