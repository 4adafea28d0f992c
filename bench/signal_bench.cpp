// FFT timings: the product against the plain step-by-step form
// (tests/reference) and, as outside reference points, FFTW's interleaved
// double-precision transform (the anchor: FFTW's fast path, and the product
// computes in double too), FFTW's single-precision split-complex transform
// and KissFFT, for every power of two from 2^10 to 2^20. Each iteration
// restores the same pseudo-random input outside the timed region, so every
// contender transforms the same data from a warm cache. The windows are
// timed on their own: their code is their definition, so there is nothing
// to set them against.
//
// Each iteration counts the fastest of five runs (see TimeBest). On a shared
// machine, read the minimum over interleaved repetitions as well:
//   cmake --preset bench && cmake --build --preset bench --target signal_bench
//   taskset -c 0 build/bench/bench/signal_bench --benchmark_repetitions=5
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
// (one command line).
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fft.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "signal/fft.h"
#include "signal/taper.h"
#include "tests/reference/signal_reference.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Input {
  std::vector<float> re, im;
  explicit Input(std::size_t n) : re(n), im(n) {
    std::mt19937 rng(20240601u + static_cast<unsigned>(n));
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (std::size_t i = 0; i < n; ++i) {
      re[i] = dist(rng);
      im[i] = dist(rng);
    }
  }
};

// Each iteration runs restore() and then body() kRuns times and counts the
// fastest body(): on a shared machine the least disturbed run, while a
// plain mean would be set by whatever else ran. Only body() is timed.
constexpr int kRuns = 5;

template <class Restore, class Body>
void TimeBest(benchmark::State& state, Restore restore, Body body) {
  for (auto _ : state) {
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
      restore();
      const auto t0 = Clock::now();
      body();
      const auto t1 = Clock::now();
      benchmark::ClobberMemory();
      best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    state.SetIterationTime(best);
  }
  state.counters["n"] = static_cast<double>(state.range(0));
}

// The same for split buffers re/im, restored from in.
template <class Body>
void TimeSplit(benchmark::State& state, float* re, float* im, const Input& in, Body body) {
  const std::size_t bytes = in.re.size() * sizeof(float);
  TimeBest(
      state,
      [&] {
        std::memcpy(re, in.re.data(), bytes);
        std::memcpy(im, in.im.data(), bytes);
      },
      body);
}

void FftProduct(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const auto direction = static_cast<std::int16_t>(state.range(1));
  Input in(n);
  std::vector<float> re(n), im(n);
  vard::signal::ComplexFft(re.data(), im.data(), n, direction);  // first-use tables
  TimeSplit(state, re.data(), im.data(), in,
            [&] { vard::signal::ComplexFft(re.data(), im.data(), n, direction); });
}

void FftTranscription(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const auto direction = static_cast<std::int16_t>(state.range(1));
  Input in(n);
  std::vector<float> re(n), im(n);
  TimeSplit(state, re.data(), im.data(), in,
            [&] { vard::signal::reference::ComplexFft(re.data(), im.data(), n, direction); });
}

// FFTW's interleaved double-precision transform, in place like the product,
// planned once with FFTW_MEASURE before the timed loop.
void FftFftwInterleaved(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  Input in(n);
  fftw_complex* data = fftw_alloc_complex(n);
  const int sign = state.range(1) < 0 ? FFTW_BACKWARD : FFTW_FORWARD;
  fftw_plan plan = fftw_plan_dft_1d(n, data, data, sign, FFTW_MEASURE);
  TimeBest(
      state, [&] { for (int i = 0; i < n; ++i) data[i][0] = in.re[i], data[i][1] = in.im[i]; },
      [&] { fftw_execute(plan); });
  fftw_destroy_plan(plan);
  fftw_free(data);
}

void FftFftwSplit(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  Input in(n);
  float* re = fftwf_alloc_real(n);
  float* im = fftwf_alloc_real(n);
  fftwf_iodim dim{n, 1, 1};
  // In place; swapping the real and imaginary arrays gives the e^(+i) sign.
  fftwf_plan plan =
      state.range(1) < 0
          ? fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, im, re, im, re, FFTW_MEASURE)
          : fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, re, im, re, im, FFTW_MEASURE);
  TimeSplit(state, re, im, in, [&] { fftwf_execute(plan); });
  fftwf_destroy_plan(plan);
  fftwf_free(re);
  fftwf_free(im);
}

// KissFFT works on interleaved complex values, out of place.
void FftKiss(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  Input in(n);
  std::vector<kiss_fft_cpx> src(n), dst(n);
  kiss_fft_cfg cfg = kiss_fft_alloc(n, state.range(1) < 0 ? 1 : 0, nullptr, nullptr);
  TimeBest(
      state, [&] { for (int i = 0; i < n; ++i) src[i] = kiss_fft_cpx{in.re[i], in.im[i]}; },
      [&] { kiss_fft(cfg, src.data(), dst.data()); });
  kiss_fft_free(cfg);
}

void WindowProduct(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  const auto type = static_cast<std::int16_t>(state.range(1));
  Input in(n);
  std::vector<float> data(n), unused(n);
  TimeSplit(state, data.data(), unused.data(), in,
            [&] { vard::signal::ApplyWindow(data.data(), n, type); });
}

// The fastest repetition: on a shared machine the one least disturbed.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void FftSizes(benchmark::internal::Benchmark* b) {
  for (int dir : {0, -1}) {
    for (int log2n = 10; log2n <= 20; ++log2n) b->Args({1 << log2n, dir});
  }
  b->UseManualTime()->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);
}

void WindowSizes(benchmark::internal::Benchmark* b) {
  for (int type : {1, 2, 3}) {
    for (int log2n : {10, 16, 20}) b->Args({1 << log2n, type});
  }
  b->UseManualTime()->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);
}

BENCHMARK(FftProduct)->Apply(FftSizes);
BENCHMARK(FftTranscription)->Apply(FftSizes);
BENCHMARK(FftFftwInterleaved)->Apply(FftSizes);
BENCHMARK(FftFftwSplit)->Apply(FftSizes);
BENCHMARK(FftKiss)->Apply(FftSizes);
BENCHMARK(WindowProduct)->Apply(WindowSizes);

}  // namespace

BENCHMARK_MAIN();
