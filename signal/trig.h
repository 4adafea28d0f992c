// Trigonometry shared by the FFT and the windows.
#pragma once

#include <cmath>

namespace vard::signal {

inline double Pi() { return 4.0 * std::atan(1.0); }

// cos and sin as two separate library calls. Left alone, the compiler fuses
// the pair into one sincos call, whose results need not be the same bits as
// the two functions'; the empty asm hides that the argument is the same.
inline void CosSin(double theta, double& c, double& s) {
  c = std::cos(theta);
#if defined(__GNUC__)
  __asm__ volatile("" : "+m"(theta));
#endif
  s = std::sin(theta);
}

}  // namespace vard::signal
