// FFT timings for the Windows build (no Google Benchmark there): the
// product against the plain step-by-step form (tests/reference), timed with
// the performance counter, for every power of two from 2^10 to 2^20. Best of
// several runs per case, each on the same input restored outside the timed
// region, the two forms alternating.
//
//   scripts/bench.sh signal_bench_win
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "signal/fft.h"
#include "tests/reference/signal_reference.h"

namespace {

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// Best time in nanoseconds of `runs` calls of body() on fresh copies of the input.
template <class Body>
double Best(int runs, const std::vector<float>& r0, const std::vector<float>& i0,
            std::vector<float>& re, std::vector<float>& im, Body body) {
  double best = 1e30;
  for (int k = 0; k < runs; ++k) {
    std::memcpy(re.data(), r0.data(), r0.size() * sizeof(float));
    std::memcpy(im.data(), i0.data(), i0.size() * sizeof(float));
    const double t0 = Now();
    body();
    const double t = Now() - t0;
    if (t < best) best = t;
  }
  return best * 1e9;
}

}  // namespace

int main() {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::printf("%-12s %10s %14s %14s %8s\n", "case", "n", "product ns", "plain ns", "ratio");
  for (int log2n = 10; log2n <= 20; ++log2n) {
    const std::int32_t n = 1 << log2n;
    std::vector<float> r0(n), i0(n), re(n), im(n);
    for (std::int32_t i = 0; i < n; ++i) r0[i] = dist(rng), i0[i] = dist(rng);
    const int runs = log2n >= 18 ? 5 : log2n >= 14 ? 20 : 200;
    for (std::int16_t dir : {std::int16_t{0}, std::int16_t{-1}}) {
      double p = 1e30, q = 1e30;
      for (int round = 0; round < 2; ++round) {  // alternate, so neither form always goes first
        p = std::min(p, Best(runs, r0, i0, re, im,
                             [&] { vard::signal::ComplexFft(re.data(), im.data(), n, dir); }));
        q = std::min(q, Best(runs, r0, i0, re, im, [&] {
              vard::signal::reference::ComplexFft(re.data(), im.data(), n, dir);
            }));
      }
      std::printf("%-12s %10d %14.0f %14.0f %8.2f\n", dir < 0 ? "fft inverse" : "fft forward", n, p,
                  q, q / p);
    }
  }
  return 0;
}
