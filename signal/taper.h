// Data tapering windows over a single-precision buffer.
#pragma once

#include <cstdint>

namespace vard::signal {

inline constexpr std::int16_t kRectangular = 0;
inline constexpr std::int16_t kForce = 1;
inline constexpr std::int16_t kHanning = 2;
inline constexpr std::int16_t kFlattop = 3;

// Multiplies data[i], i < length, in place by the weight of the window type
// at position i (double precision, rounded to float when stored):
//   kHanning  periodic Hann, 0.5·(1 - cos(2πi/N)), cosine by rotation;
//   kFlattop  five-term flat top centred on N/2, peak 4.636, mean 1;
//   kForce    cosine rise over the first N/10 samples, mirrored fall over the
//             last N/10, weight 1 in between;
//   any other type (kRectangular among them) leaves the buffer unchanged.
// Always returns 0 (vardOK); length <= 0 touches nothing. Thread-safe.
std::int16_t ApplyWindow(float* data, std::int32_t length, std::int16_t windowType);

}  // namespace vard::signal
