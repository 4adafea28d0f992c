#include "signal/taper.h"

#include <cmath>
#include <cstddef>

#include "signal/trig.h"

namespace vard::signal {
namespace {

double TwoPi() { return std::atan(1.0) * 8; }

// Periodic Hann window; the cosine comes from rotating (1, 0) by 2π/N per
// sample rather than from a library call per sample.
void Hanning(float* data, std::int32_t n) {
  double c, s;
  CosSin(TwoPi() / n, c, s);
  double wr = 1.0, wi = 0.0;
  for (std::int32_t i = 0; i < n; ++i) {
    data[i] = static_cast<float>(data[i] * 0.5 * (1 - wr));
    const double r = wr;
    wr = r * c - wi * s;
    wi = wi * c + r * s;
  }
}

// Five-term flat top, k counted from the centre so all terms add, each
// cosine a library call. The terms are summed in the order 0.028, 1.29,
// 0.388, 1.93, 1.0: that order is part of the result's bits.
void Flattop(float* data, std::int32_t n) {
  const double d = TwoPi() / n;
  const std::int32_t k0 = n / (-2);
  for (std::int32_t i = 0; i < n; ++i) {
    // 2k, 3k and 4k are integers, so they are exact in double too; forming
    // them there cannot overflow.
    const double k = static_cast<double>(k0 + i);
    double w = 0.028 * std::cos((4.0 * k) * d);
    w = w + 1.29 * std::cos((2.0 * k) * d);
    w = w + 0.388 * std::cos((3.0 * k) * d);
    w = w + 1.93 * std::cos(k * d);
    w = w + 1.0;
    data[i] = static_cast<float>(data[i] * w);
  }
}

// Cosine taper over the first and last tenth, f = 0.5·(1 - cos(πi/W)) by
// rotation; the two tapers never meet since W <= N/2.
void Force(float* data, std::int32_t n) {
  const std::int32_t width = n / 10;
  if (width <= 0) return;
  double c, s;
  CosSin(TwoPi() / (2 * width), c, s);
  double wr = 1.0, wi = 0.0;
  for (std::int32_t i = 0; i < width; ++i) {
    const double f = (1 - wr) * 0.5;
    data[i] = static_cast<float>(data[i] * f);
    data[n - 1 - i] = static_cast<float>(data[n - 1 - i] * f);
    const double r = wr;
    wr = r * c - wi * s;
    wi = wi * c + r * s;
  }
}

}  // namespace

std::int16_t ApplyWindow(float* data, std::int32_t length, std::int16_t windowType) {
  if (length <= 0) return 0;
  switch (windowType) {
    case kForce:
      Force(data, length);
      break;
    case kHanning:
      Hanning(data, length);
      break;
    case kFlattop:
      Flattop(data, length);
      break;
    default:  // kRectangular, and any type this library does not know
      break;
  }
  return 0;
}

}  // namespace vard::signal
