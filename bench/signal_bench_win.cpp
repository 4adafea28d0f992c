// FFT and window timings for the Windows build (no Google Benchmark there):
// the product against the plain step-by-step form, timed with the
// performance counter. Best of several runs per case, each on the same input
// restored outside the timed region.
//
//   wine build/windows/bin/signal_bench_win.exe
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "signal/fft.h"
#include "signal/taper.h"
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
  std::printf("%-24s %10s %14s %14s %8s\n", "case", "n", "product ns", "plain ns", "ratio");
  for (int log2n : {10, 16, 20}) {
    const std::int32_t n = 1 << log2n;
    std::vector<float> r0(n), i0(n), re(n), im(n);
    for (std::int32_t i = 0; i < n; ++i) r0[i] = dist(rng), i0[i] = dist(rng);
    const int runs = log2n >= 20 ? 5 : log2n >= 16 ? 20 : 500;
    for (std::int16_t dir : {std::int16_t{0}, std::int16_t{-1}}) {
      const double p = Best(runs, r0, i0, re, im,
                            [&] { vard::signal::ComplexFft(re.data(), im.data(), n, dir); });
      const double q = Best(runs, r0, i0, re, im, [&] {
        vard::signal::reference::ComplexFft(re.data(), im.data(), n, dir);
      });
      std::printf("%-24s %10d %14.0f %14.0f %8.2f\n", dir < 0 ? "fft inverse" : "fft forward", n, p,
                  q, q / p);
    }
    for (std::int16_t type : {std::int16_t{1}, std::int16_t{2}, std::int16_t{3}}) {
      const char* name = type == 1   ? "window force"
                         : type == 2 ? "window hanning"
                                     : "window flattop";
      const double p =
          Best(runs, r0, i0, re, im, [&] { vard::signal::ApplyWindow(re.data(), n, type); });
      const double q = Best(runs, r0, i0, re, im,
                            [&] { vard::signal::reference::ApplyWindow(re.data(), n, type); });
      std::printf("%-24s %10d %14.0f %14.0f %8.2f\n", name, n, p, q, q / p);
    }
  }
  return 0;
}
