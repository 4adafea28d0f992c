// The writing side of the waveform end-to-end tests: writes a waveform of
// the generator through this client, as its peer will check it.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "tests/windows/waveform_e2e_data.h"
#include "vard32.h"

namespace vard::e2e {

// The waveform written through this client (WriteSpec), then its type and
// every sample read back through its writer.
inline void Write(const WaveSpec& w, short* handle) {
  ASSERT_EQ(WriteSpec(w, "e2e.waves", handle), vardOK);
  short type = 0;
  EXPECT_EQ(GetWaveformDataType(*handle, &type), vardOK);
  EXPECT_EQ(type, w.type);
  const auto data = RawSamples(w, 0, w.Total());
  std::vector<std::uint8_t> back(data.size());
  EXPECT_EQ(ReadWaveform(*handle, 0, w.Total() - 1, back.data()), vardOK);
  EXPECT_TRUE(back == data) << "read-back differs";
}

}  // namespace vard::e2e
