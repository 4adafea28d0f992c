// Complex FFT over split single-precision buffers.
#pragma once

#include <cstdint>

#include "include/vard_enums.h"

namespace vard::signal {

// In-place radix-2 decimation-in-time FFT of the complex sequence
// (re[n], im[n]), n < length. Any negative direction selects the inverse
// transform (scaled by 1/length), zero or positive the forward one. Results
// are in natural order. Arithmetic is double precision, rounded to float
// after every butterfly and after the final scaling; the rotation factors of
// each stage come from a multiplicative recurrence, so results are
// reproducible bit for bit.
//
// length <= 0: nothing happens, vardOK. length > 2 and not a power of two:
// vardInvalidParameter, buffers untouched. Thread-safe; no per-call allocation.
std::int16_t ComplexFft(float* re, float* im, std::int32_t length, std::int16_t direction);

namespace detail {

// Which kernels ComplexFft uses; exposed so tests can cover every path on
// one machine.
enum class FftPath {
  kAuto,      // the best the processor supports, with cached rotation tables
  kScalar,    // one element at a time
  kSse2,      // 2-lane double vectors (the 32-bit Windows build's path)
  kAvx,       // 4-lane double vectors, AVX2 (x86-64 only)
  kUncached,  // kAuto, but every rotation factor computed during the call
};

bool FftPathAvailable(FftPath path);
std::int16_t ComplexFftVia(FftPath path, float* re, float* im, std::int32_t length,
                           std::int16_t direction);

}  // namespace detail

}  // namespace vard::signal
