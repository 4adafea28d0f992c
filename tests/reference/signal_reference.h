// The plain, step-by-step FFT, in the order its operations are defined: the
// loops, recurrence and butterflies exactly as written down, with no
// attention to speed. The product must give the same bits; the tests and the
// benchmarks compare against it.
#pragma once

#include <cmath>
#include <cstdint>
#include <utility>

namespace vard::signal::reference {

// "c = cos θ, s = sin θ": two library calls. The empty asm keeps the compiler
// from merging them into one sincos call.
inline void TwoTrigCalls(double theta, double& c, double& s) {
  c = std::cos(theta);
  __asm__ volatile("" : "+m"(theta));
  s = std::sin(theta);
}

inline std::int16_t ComplexFft(float* re, float* im, std::int32_t n, std::int16_t direction) {
  if (n <= 0) return 0;
  const double pi = 4.0 * std::atan(1.0);
  const double base = direction < 0 ? -pi : pi;

  // Bit-reversal permutation with a reversed binary counter.
  std::int32_t j = 0;
  for (std::int32_t i = 0; i <= n - 2; ++i) {
    if (j > i) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
    std::int32_t k = n / 2;
    while (k <= j) {
      j = j - k;
      k = k / 2;
    }
    j = j + k;
  }

  // Butterfly stages.
  for (std::int32_t h = 1; h < n; h *= 2) {
    const std::int32_t step = 2 * h;
    const double theta = base / h;
    double c, s;
    TwoTrigCalls(theta, c, s);
    double wr = 1.0;
    double wi = 0.0;
    for (std::int32_t m = 0; m < h; ++m) {
      for (std::int32_t a = m; a < n; a += step) {
        const std::int32_t b = a + h;
        const double tr = wr * re[b] + wi * im[b];
        const double ti = wr * im[b] - wi * re[b];
        re[b] = static_cast<float>(re[a] - tr);
        im[b] = static_cast<float>(im[a] - ti);
        re[a] = static_cast<float>(re[a] + tr);
        im[a] = static_cast<float>(im[a] + ti);
      }
      const double owr = wr;
      const double owi = wi;
      wr = owr * c - owi * s;
      wi = owi * c + owr * s;
    }
  }

  if (direction < 0) {
    for (std::int32_t i = 0; i < n; ++i) {
      re[i] = static_cast<float>(re[i] / static_cast<double>(n));
      im[i] = static_cast<float>(im[i] / static_cast<double>(n));
    }
  }
  return 0;
}

}  // namespace vard::signal::reference
