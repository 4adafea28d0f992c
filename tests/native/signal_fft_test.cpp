// Complex FFT: the same bits as the plain step-by-step form on every kernel
// path and every power of two up to 2^20, the mathematics (scale and sign
// convention included) against a double-precision DFT, and the edge cases of
// length and direction.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "signal/fft.h"
#include "tests/reference/signal_reference.h"

namespace {

const double kPi = 4.0 * std::atan(1.0);
using vard::signal::ComplexFft;
using vard::signal::detail::FftPath;

struct Signal {
  std::vector<float> re, im;
};

// kind 0: uniform in [-1, 1]; 1: magnitudes over 2^-60 .. 2^40, so sums
// cancel and round every way, and the range checks of the AVX path go either
// way; 2: about 1e-36, below those checks, so inverse results are
// subnormal and the scaling must round them exactly as a division does;
// 3: mostly zeros of either sign, whose signs the single-precision
// butterflies must reproduce; 4: about 3e37, so sums overflow to infinities
// and their differences to NaN.
Signal Random(std::size_t n, std::uint32_t seed, int kind = 0) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-60, 40);
  Signal s{std::vector<float>(n), std::vector<float>(n)};
  for (std::vector<float>* v : {&s.re, &s.im}) {
    for (float& x : *v) {
      x = unit(rng);
      if (kind == 1) x = std::ldexp(x, exponent(rng));
      if (kind == 2) x *= 1e-36f;
      if (kind == 3 && rng() % 4 != 0) x = rng() % 2 ? 0.0f : -0.0f;
      if (kind == 4) x *= 3e37f;
    }
  }
  return s;
}

// Index of the first element whose bits differ, or -1.
long FirstDifference(const Signal& a, const Signal& b) {
  for (std::size_t i = 0; i < a.re.size(); ++i)
    if (std::memcmp(&a.re[i], &b.re[i], 4) || std::memcmp(&a.im[i], &b.im[i], 4))
      return static_cast<long>(i);
  return -1;
}

Signal Fft(Signal s, std::int16_t direction, FftPath path = FftPath::kAuto) {
  const auto n = static_cast<std::int32_t>(s.re.size());
  EXPECT_EQ(vard::signal::detail::ComplexFftVia(path, s.re.data(), s.im.data(), n, direction), vardOK);
  return s;
}

// Every path up to 2^17 (one stage past the largest table, so generated
// factors are covered too); the default path alone above, to keep it short.
TEST(FftBits, EveryPowerOfTwoBothDirectionsEveryPath) {
  for (int log2n = 0; log2n <= 20; ++log2n) {
    const std::size_t n = std::size_t{1} << log2n;
    for (const std::int16_t direction : {std::int16_t{0}, std::int16_t{-1}}) {
      const Signal in = Random(n, 1000u + 2u * log2n + (direction < 0), log2n % 5);
      Signal want = in;
      vard::signal::reference::ComplexFft(want.re.data(), want.im.data(),
                                          static_cast<std::int32_t>(n), direction);
      for (const FftPath path :
           {FftPath::kAuto, FftPath::kScalar, FftPath::kSse2, FftPath::kAvx, FftPath::kUncached}) {
        if (!vard::signal::detail::FftPathAvailable(path) ||
            (log2n > 17 && path != FftPath::kAuto)) {
          continue;
        }
        ASSERT_EQ(FirstDifference(Fft(in, direction, path), want), -1)
            << "n = " << n << ", direction " << direction << ", path " << static_cast<int>(path);
      }
    }
  }
}

TEST(FftBits, OnlyTheSignOfTheDirectionCounts) {
  const Signal in = Random(256, 42u);
  for (const std::int16_t d : {1, 7, 32767}) EXPECT_EQ(FirstDifference(Fft(in, d), Fft(in, 0)), -1);
  for (const std::int16_t d : {-5, -32768}) EXPECT_EQ(FirstDifference(Fft(in, d), Fft(in, -1)), -1);
}

TEST(FftLength, EdgeLengths) {
  const Signal in = Random(64, 5u);
  Signal s = in;
  // Zero or negative: nothing happens. Not a power of two (and longer than
  // the buffers): rejected before any access.
  for (const std::int32_t n : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
    EXPECT_EQ(ComplexFft(nullptr, nullptr, n, 0), vardOK) << n;
    EXPECT_EQ(ComplexFft(s.re.data(), s.im.data(), n, -1), vardOK) << n;
  }
  for (const std::int32_t n :
       {3, 6, 12, 1000, 65535, 65537, std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(ComplexFft(s.re.data(), s.im.data(), n, 0), vardInvalidParameter) << n;
    EXPECT_EQ(ComplexFft(s.re.data(), s.im.data(), n, -1), vardInvalidParameter) << n;
  }
  EXPECT_EQ(FirstDifference(s, in), -1);

  // One point stays; two give sum and difference, and the inverse halves them.
  const Signal one{{0.625f}, {-3.5f}}, two{{1.5f, 0.25f}, {-2, 4}}, sums{{1.75f, 1.25f}, {2, -6}};
  EXPECT_EQ(FirstDifference(Fft(one, 0), one), -1);
  EXPECT_EQ(FirstDifference(Fft(one, -1), one), -1);
  EXPECT_EQ(FirstDifference(Fft(two, 0), sums), -1);
  EXPECT_EQ(FirstDifference(Fft(sums, -1), two), -1);
}

// ||fft(x) - X|| / ||X|| with X = scale · Σ x[n] e^(sign·2πi·nk/N) in double.
double DftError(const Signal& x, int sign, double scale, const Signal& got) {
  const std::size_t n = x.re.size();
  double err = 0, norm = 0;
  for (std::size_t k = 0; k < n; ++k) {
    std::complex<double> sum = 0;
    for (std::size_t t = 0; t < n; ++t) {
      const double angle = sign * 2 * kPi * static_cast<double>((t * k) % n) / n;
      sum += std::complex<double>(x.re[t], x.im[t]) * std::polar(1.0, angle);
    }
    err += std::norm(std::complex<double>(got.re[k], got.im[k]) - sum * scale);
    norm += std::norm(sum * scale);
  }
  return std::sqrt(err / norm);
}

TEST(FftMath, AgreesWithADirectDft) {
  for (const std::size_t n : {4u, 16u, 64u, 256u, 1024u}) {
    const Signal x = Random(n, 11u + static_cast<std::uint32_t>(n));
    const double bound = 1e-6 * std::log2(static_cast<double>(n));
    EXPECT_LT(DftError(x, -1, 1.0, Fft(x, 0)), bound) << "forward, n = " << n;
    EXPECT_LT(DftError(x, +1, 1.0 / n, Fft(x, -1)), bound) << "inverse, n = " << n;
  }
}

}  // namespace
