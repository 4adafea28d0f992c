// BufferComplexFFT and BufferApplyWindow through VARD32.dll: a fault in the
// caller's buffers is reported as vardInternalError, what was rewritten
// before it stays rewritten, and later calls give what the portable cores
// give (whose own tests cover the lengths and types). Neither export needs
// InitDataManager or a server.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "signal/fft.h"
#include "signal/taper.h"
#include "vard32.h"

namespace {

std::vector<float> Ramp(std::size_t n) {
  std::vector<float> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = 1.0f + 0.25f * static_cast<float>(i % 13);
  return v;
}

TEST(SignalExports, FaultsAreInternalErrorsAndLaterCallsWork) {
  // Floats just before a no-access page.
  auto* page =
      static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD old;
  ASSERT_TRUE(page && VirtualProtect(page + 4096, 4096, PAGE_NOACCESS, &old));
  float* const bad = reinterpret_cast<float*>(page + 4096);
  std::vector<float> ok = Ramp(1024);
  for (int k = 0; k < 20; ++k) {  // the guard survives repeated faults
    EXPECT_EQ(BufferComplexFFT(nullptr, nullptr, 64, vardFftForward), vardInternalError);
    EXPECT_EQ(BufferComplexFFT(ok.data(), nullptr, 64, vardFftInverse), vardInternalError);
    EXPECT_EQ(BufferComplexFFT(bad, ok.data(), 1024, vardFftForward), vardInternalError);
    EXPECT_EQ(BufferComplexFFT(ok.data(), bad, 1024, vardFftInverse), vardInternalError);
    for (const short type : {short{vardForce}, short{vardHanning}, short{vardFlattop}}) {
      EXPECT_EQ(BufferApplyWindow(nullptr, 64, type), vardInternalError) << type;
      EXPECT_EQ(BufferApplyWindow(bad, 64, type), vardInternalError) << type;
    }
  }
  // A 200-sample buffer whose last 100 samples are not accessible: the first
  // 100 are tapered before the fault and stay so.
  float* const data = bad - 100;
  std::vector<float> want(200, 1.0f);
  vard::signal::ApplyWindow(want.data(), 200, vard::signal::kHanning);
  for (int i = 0; i < 100; ++i) data[i] = 1.0f;
  EXPECT_EQ(BufferApplyWindow(data, 200, vardHanning), vardInternalError);
  EXPECT_EQ(std::memcmp(data, want.data(), 100 * sizeof(float)), 0);
  VirtualFree(page, 0, MEM_RELEASE);

  // Afterwards the exports give what the cores give, reply codes included.
  for (const std::int32_t n : {4096, 12}) {
    for (const short direction : {short{vardFftForward}, short{vardFftInverse}}) {
      std::vector<float> re = Ramp(4096), im = Ramp(4096), wantRe = re, wantIm = im;
      EXPECT_EQ(BufferComplexFFT(re.data(), im.data(), n, direction),
                vard::signal::ComplexFft(wantRe.data(), wantIm.data(), n, direction));
      EXPECT_EQ(re, wantRe) << n;
      EXPECT_EQ(im, wantIm) << n;
    }
  }
  for (const short type : {short{vardFlattop}, short{7}}) {
    std::vector<float> taper = Ramp(1000), want = taper;
    EXPECT_EQ(BufferApplyWindow(taper.data(), 1000, type),
              vard::signal::ApplyWindow(want.data(), 1000, type));
    EXPECT_EQ(taper, want) << type;
  }
}

}  // namespace
