#include "server/core/formula_reduce.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "server/core/waveform.h"

namespace vard::server::formula {
namespace {

// Samples read from the store at a time.
constexpr std::int32_t kPiece = 4096;

struct Totals {
  double count = 0, sum = 0, sum_of_squares = 0;
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();

  void Add(double v) {
    if (std::isnan(v)) return;
    count += 1;
    sum += v;
    sum_of_squares += v * v;
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
};

}  // namespace

bool ReduceWaveform(const WaveformData& data, Fn fn, double* out) {
  const std::int16_t type = data.type();
  const double y0 = data.y().origin, dy = data.y().step;
  alignas(8) unsigned char raw[kPiece * 4];
  Totals t;
  for (int block = 0; block < data.blocks(); ++block) {
    for (std::int32_t first = 0; first < data.length(); first += kPiece) {
      const std::int32_t last = std::min(data.length() - 1, first + kPiece - 1);
      std::size_t bytes = 0;
      // Read in the waveform's own type: raw samples, converted here in double.
      if (data.Read(block, first, last, 1, type, raw, sizeof raw, &bytes) != vardOK) return false;
      const std::size_t n = static_cast<std::size_t>(last - first + 1);
      for (std::size_t i = 0; i < n; ++i) {
        if (type == vardFloat) {
          float f;
          std::memcpy(&f, raw + 4 * i, 4);
          t.Add(f);
        } else if (type == vardInteger) {
          std::int16_t s;
          std::memcpy(&s, raw + 2 * i, 2);
          t.Add(y0 + dy * s);
        } else {
          std::uint16_t s;
          std::memcpy(&s, raw + 2 * i, 2);
          t.Add(s);
        }
      }
    }
  }
  if (t.count == 0) return false;
  switch (fn) {
    case Fn::Mean: *out = t.sum / t.count; break;
    case Fn::Rms: *out = std::sqrt(t.sum_of_squares / t.count); break;
    case Fn::Minimum: *out = t.lo; break;
    case Fn::Maximum: *out = t.hi; break;
    case Fn::PeakToPeak: *out = t.hi - t.lo; break;
    default: return false;
  }
  return true;
}

}  // namespace vard::server::formula
