// Waveform analysis and crest measurements through the library and the real
// server: every export on signals whose answers are computed here, the
// histogram at its full size, and a client killed while another analyses the
// same waveform.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

constexpr double kDx = 1.0 / 1024;
constexpr int kPeriod = 1000;

// 50 whole cycles of 0.5 + 3·sin, and a trapezoid pulse (rise 100 samples,
// fall 40) from 2 to 102.
std::vector<float> Sine() {
  std::vector<float> v(50 * kPeriod);
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<float>(0.5 + 3 * std::sin(2 * 3.14159265358979323846 * i / kPeriod));
  return v;
}
std::vector<float> Pulse() {
  std::vector<float> v(100, 2.0f);
  for (int i = 0; i <= 100; ++i) v.push_back(2.0f + i);
  v.resize(500, 102.0f);
  for (int i = 0; i <= 40; ++i) v.push_back(102.0f - 2.5f * i);
  v.resize(v.size() + 100, 2.0f);
  return v;
}

class AnalysisE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataManager();
    Create("e2e_sine", sine_);
    Create("e2e_pulse", Pulse());
  }
  void TearDown() override {
    EXPECT_EQ(DeleteVariable("e2e_sine"), vardOK);
    EXPECT_EQ(DeleteVariable("e2e_pulse"), vardOK);
    ExitDataManager();
  }
  static void Create(const char* name, const std::vector<float>& v) {
    DeleteVariable(name);  // a leftover of an interrupted run
    short h = 0;
    ASSERT_EQ(CreateWaveform(name, vardFloat, "e2e.analysis"), vardOK);
    ASSERT_EQ(OpenWaveform(name, &h), vardOK);
    ASSERT_EQ(WriteHorizontal(h, 0.0, kDx, "s"), vardOK);
    ASSERT_EQ(WriteWaveform(h, 0, static_cast<long>(v.size()) - 1, v.data()), vardOK);
    ASSERT_EQ(CloseWaveform(h), vardOK);
  }

  const std::vector<float> sine_ = Sine();
  const double end_ = (sine_.size() - 1) * kDx;
};

void Near(double got, double want) { EXPECT_NEAR(got, want, 1e-9 * std::fabs(want)); }

TEST_F(AnalysisE2ETest, EveryMeasurementAnswersWhatThePlainComputationDoes) {
  const std::vector<float>& y = sine_;
  const double n = static_cast<double>(y.size());
  double sum = 0, squares = 0;
  for (float v : y) sum += v, squares += double{v} * v;

  double a = 0, b = 0, c = 0, d = 0, e = 0;
  ASSERT_EQ(WaveformMinMax("e2e_sine", 0, 0, end_, &a, &b, &c, &d), vardOK);
  EXPECT_EQ((std::vector<double>{a, b, c, d}),  // the first minimum and maximum
            (std::vector<double>{*std::min_element(y.begin(), y.end()),
                                 *std::max_element(y.begin(), y.end()), 750 * kDx, 250 * kDx}));
  ASSERT_EQ(WaveformFastMinMaxW(L"e2e_sine", 0, 0, end_, &c, &d), vardOK);
  EXPECT_TRUE(c == a && d == b);
  ASSERT_EQ(WaveformStatistics("e2e_sine", 0, -INFINITY, INFINITY, &a, &b, &c, &d, &e), vardOK);
  Near(a, sum / n);
  Near(b, std::sqrt(squares / n));
  ASSERT_EQ(WaveformPeriod("e2e_sine", 0, 0, end_, &a), vardOK);
  Near(a, kPeriod * kDx);
  ASSERT_EQ(WaveformLinFit("e2e_sine", 0, 0, 999 * kDx, &a, &b), vardOK);
  EXPECT_LT(b, 0.0);  // one whole cycle starting upwards leans down
  ASSERT_EQ(WaveformFindLocalExtreme("e2e_sine", 0, end_, 0, vardBackward, vardLocalMax, 1, &a, &b),
            vardOK);
  EXPECT_TRUE(a == y[49 * kPeriod + 250] && b == (49 * kPeriod + 250) * kDx);
  short kind = 0;  // 2 lies between samples 83 and 84
  ASSERT_EQ(WaveformFindLevelCrossing("e2e_sine", 0, 0, end_, 1, 0, 2.0, &a, &kind), vardOK);
  EXPECT_TRUE(kind == vardPositive &&
              std::fabs(a / kDx - 83 - (2.0 - y[83]) / (double{y[84]} - y[83])) < 1e-9);
  ASSERT_EQ(WaveformPulseParameters("e2e_pulse", 0, 0, 1e9, &a, &b, &c), vardOK);
  EXPECT_TRUE(a == 80 * kDx && b == 32 * kDx && c == 370 * kDx) << a << " " << b << " " << c;

  short loops = 0;
  ASSERT_EQ(Stl_Crest("e2e_sine", 0, 3.0, &a, &b, &c, nullptr, &loops, 0, 0), vardOK);
  EXPECT_TRUE(a == 3.5 && loops == 50);  // one excursion above 3 per cycle
  Near(c, 3.5 / std::sqrt(squares / n));
  ASSERT_EQ(Stl_FindSignalLoopW(L"e2e_sine", 0, 0, end_, vardPositive, 1, 0.5, 0.01, &a, &b,
                                &loops, 0, 0),
            vardOK);
  EXPECT_TRUE(a == kPeriod * kDx && loops == 48);  // from the crossing at 1000 to the one at 49000
  Near(b, kPeriod * kDx);
  ASSERT_EQ(Stl_CrestMethod("e2e_sine", 0, 0.0, vardCrestAboutMean, &a, &b, 0, 0), vardOK);
  EXPECT_TRUE(std::fabs(a - std::sqrt(2.0)) < 1e-6 && std::fabs(b - 10 * std::log10(2.0)) < 1e-5);
}

// 16326 bins and their 2 extra counts fill the buffer, and nothing past it;
// a buffer that cannot take them is vardBufferToSmall.
TEST_F(AnalysisE2ETest, HistogramFillsItsFullBuffer) {
  std::vector<long> counts(16329, -7);
  ASSERT_EQ(WaveformHistogram("e2e_sine", 0, 0, end_, 2.0, -1.0, 16326, counts.data()), vardOK);
  EXPECT_EQ(counts[16328], -7);
  EXPECT_EQ(std::accumulate(counts.begin(), counts.end() - 1, 0L), static_cast<long>(sine_.size()));
  EXPECT_EQ(counts[16327], std::ranges::count_if(sine_, [](float v) { return v > 2; }));  // above
  long* const bad = reinterpret_cast<long*>(64);
  EXPECT_EQ(WaveformHistogram("e2e_sine", 0, 0, end_, 2.0, -1.0, 16326, bad), vardBufferToSmall);
}

// A client killed in the middle of its analyses takes nothing with it: the
// other client's results stay the same, and the waveform can be deleted.
TEST_F(AnalysisE2ETest, AClientKilledWhileAnotherAnalysesChangesNothing) {
  HANDLE peer = vard::test::StartReady("analysis_peer.exe", "analyse e2e_sine");
  ASSERT_NE(peer, nullptr);
  auto statistics = [&](double* s) {
    return WaveformStatistics("e2e_sine", 0, 0, end_, &s[0], &s[1], &s[2], &s[3], &s[4]);
  };
  double first[5] = {}, again[5] = {};
  ASSERT_EQ(statistics(first), vardOK);
  for (int i = 0; i < 40; ++i) {
    if (i == 20) vard::test::Kill(peer);
    ASSERT_EQ(statistics(again), vardOK);
    ASSERT_TRUE(std::equal(first, first + 5, again)) << i;
  }
}

}  // namespace
