// The writing side of the waveform end-to-end tests: writes a waveform of
// the generator through this client, as its peer will check it.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "tests/windows/waveform_e2e_data.h"
#include "vard32.h"

namespace vard::e2e {

// Create, axes, length, every sample in one WriteWaveform (the library cuts
// it into chunks), then each block's info after rewriting its first sample,
// which makes it the block WriteBlockInfo describes; then read it all back.
inline void Write(const WaveSpec& w, short* handle) {
  ASSERT_EQ(CreateWaveform(w.name, w.type, "e2e.waves"), vardOK);
  ASSERT_EQ(OpenWaveform(w.name, handle), vardOK);
  const short h = *handle;
  short type = 0;
  EXPECT_EQ(GetWaveformDataType(h, &type), vardOK);
  EXPECT_EQ(type, w.type);
  EXPECT_EQ(WriteHorizontal(h, w.x0, w.xStep, w.xUnits), vardOK);
  EXPECT_EQ(WriteVertical(h, w.y0, w.yStep, w.yUnits), vardOK);
  EXPECT_TRUE(!w.setLength || SetWaveformLength(h, w.length) == vardOK);
  const auto data = vard::e2e::RawSamples(w, 0, w.Total());
  ASSERT_EQ(WriteWaveform(h, 0, w.Total() - 1, data.data()), vardOK);
  for (short b = 0; b < w.blocks; ++b) {
    const long first = b * w.length;
    EXPECT_EQ(WriteWaveform(h, first, first, &data[first * w.ElementSize()]), vardOK);
    EXPECT_EQ(WriteBlockInfo(h, vard::e2e::TriggerTime(b), 2024, 6, b + 1), vardOK);
  }
  std::vector<std::uint8_t> back(data.size());
  EXPECT_EQ(ReadWaveform(h, 0, w.Total() - 1, back.data()), vardOK);
  EXPECT_TRUE(back == data) << "read-back differs";
}

}  // namespace vard::e2e
