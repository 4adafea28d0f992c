// Tapering windows: the weights each window is known to have, and the types
// and lengths that leave the buffer alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "signal/taper.h"

namespace {

using vard::signal::ApplyWindow;

// The weights: the window applied to ones.
std::vector<float> Weights(std::int16_t type, std::size_t n) {
  std::vector<float> w(n, 1.0f);
  EXPECT_EQ(ApplyWindow(w.data(), static_cast<std::int32_t>(n), type), 0);
  return w;
}

TEST(WindowWeights, KnownValues) {
  using namespace vard::signal;
  // Force: ones with n / 10 samples tapered at either end.
  auto force = [](std::size_t n, std::vector<double> rise) {
    std::vector<double> w(n, 1.0);
    for (std::size_t i = 0; i < rise.size(); ++i) w[i] = w[n - 1 - i] = rise[i];
    return w;
  };
  const double r1 = 0.146447, r3 = 0.853553;
  const struct {
    std::int16_t type;
    std::vector<double> weights;
  } cases[] = {
      {kHanning, {0}},
      {kHanning, {0, 0.5, 1, 0.5}},
      {kHanning, {0, r1, 0.5, r3, 1, r3, 0.5, r1}},
      {kFlattop, {4.636}},
      {kFlattop, {0, -0.262, 4.636, -0.262}},
      {kFlattop, {-0.065525, 0.247525, 4.636, 0.247525, -0.065525}},
      {kFlattop, {0, -0.118359, -0.262, 2.062359, 4.636, 2.062359, -0.262, -0.118359}},
      {kForce, force(9, {})},  // W = 0: nothing tapered
      {kForce, force(10, {0})},
      {kForce, force(20, {0, 0.5})},
      {kForce, force(40, {0, r1, 0.5, r3})},
      // Rectangular and types this library does not know: weight 1.
      {kRectangular, std::vector<double>(7, 1.0)},
      {4, std::vector<double>(7, 1.0)},
      {-1, std::vector<double>(7, 1.0)},
  };
  for (const auto& c : cases) {
    const std::vector<float> got = Weights(c.type, c.weights.size());
    for (std::size_t i = 0; i < got.size(); ++i)
      EXPECT_NEAR(got[i], c.weights[i], 2e-6) << c.type << ", n = " << got.size() << ", i = " << i;
  }
  // Flat top: mean 1 for N > 4, 1.028 for N = 4.
  for (const std::size_t n : {4u, 5u, 8u, 1001u}) {
    const std::vector<float> w = Weights(kFlattop, n);
    EXPECT_NEAR(std::accumulate(w.begin(), w.end(), 0.0) / n, n == 4 ? 1.028 : 1.0, 1e-6) << n;
  }
  // No samples, or a type that weighs 1: nothing is read or written.
  for (const std::int16_t type : {kRectangular, kForce, kHanning, kFlattop, std::int16_t{7}}) {
    EXPECT_EQ(ApplyWindow(nullptr, 0, type), 0);
    EXPECT_EQ(ApplyWindow(nullptr, -5, type), 0);
  }
  EXPECT_EQ(ApplyWindow(nullptr, 64, kRectangular), 0);
  EXPECT_EQ(ApplyWindow(nullptr, 64, 7), 0);
}

}  // namespace
