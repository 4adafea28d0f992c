// The waveforms the end-to-end test writes and its peer process checks. Both
// sides compute every sample from its index, so the peer can check each value
// it reads without the data reaching it any other way than through the pool.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace vard::e2e {

struct WaveSpec {
  const char* name;
  short type;  // vardDigital 1, vardInteger 2, vardFloat 4
  short blocks;
  long length;     // samples per block
  bool setLength;  // false: a single block that the write itself grows
  double x0, xStep;
  const char* xUnits;
  double y0, yStep;
  const char* yUnits;

  long Total() const { return blocks * length; }
  int ElementSize() const { return type == 4 ? 4 : 2; }
};

// A million floats in four blocks; integers with a scaled Y axis; a digital
// waveform grown without SetWaveformLength. Steps that are powers of two put
// X0 + i·XStep exactly on sample i.
constexpr WaveSpec kFloatWave{"e2e_float", 4, 4, 250000, true, -2.5, 0.001, "s", 0.5, 2.0, "V"};
constexpr WaveSpec kIntWave{"e2e_int", 2, 3, 100000, true, 10.0, 0.5, "mm", -5.0, 0.01, "bar"};
constexpr WaveSpec kDigitalWave{"e2e_digital", 1,   1,   300000, false, 0.0,
                                1.0 / 1024,    "s", 0.0, 1.0,    ""};

inline const WaveSpec* FindSpec(const char* name) {
  for (const WaveSpec* w : {&kFloatWave, &kIntWave, &kDigitalWave})
    if (std::strcmp(w->name, name) == 0) return w;
  return nullptr;
}

// Sample s of the flat index space (sample s % length of block s / length).
inline float FloatSample(long s) {
  return static_cast<float>((std::int64_t{s} * 7919) % 100003) * 0.5f - 1000.0f;
}
inline std::uint16_t WordSample(long s) {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(s) * 40503u + (s >> 7));
}

// Samples [first, first + n) as the bytes a transfer of the waveform's own type carries.
inline std::vector<std::uint8_t> RawSamples(const WaveSpec& w, long first, long n) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(n) * w.ElementSize());
  for (long i = 0; i < n; ++i) {
    const float f = FloatSample(first + i);
    const std::uint16_t u = WordSample(first + i);
    std::memcpy(&out[i * w.ElementSize()], w.type == 4 ? static_cast<const void*>(&f) : &u,
                w.ElementSize());
  }
  return out;
}

inline double TriggerTime(int block) { return 1000.125 + 0.5 * block; }

}  // namespace vard::e2e
