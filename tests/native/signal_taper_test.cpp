// Tapering windows: the same bits as the plain step-by-step form for every
// type and many lengths, and the weights each window is known to have.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "signal/taper.h"
#include "tests/reference/signal_reference.h"

namespace {

using vard::signal::ApplyWindow;

std::vector<float> Random(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-100.0f, 100.0f);
  std::vector<float> v(n);
  for (float& x : v) x = dist(rng);
  return v;
}

// The weights: the window applied to ones.
std::vector<float> Weights(std::int16_t type, std::size_t n) {
  std::vector<float> w(n, 1.0f);
  EXPECT_EQ(ApplyWindow(w.data(), static_cast<std::int32_t>(n), type), 0);
  return w;
}

TEST(WindowBits, EveryTypeManyLengths) {
  std::vector<std::size_t> lengths(64);
  std::iota(lengths.begin(), lengths.end(), 1);
  for (std::size_t n : {99u, 100u, 101u, 1000u, 1024u, 65535u, 1u << 20}) lengths.push_back(n);
  for (const std::int16_t type : {-1, 0, 1, 2, 3, 4, 100}) {
    for (const std::size_t n : lengths) {
      const std::vector<float> in = Random(n, 17u * static_cast<std::uint32_t>(n) + type);
      std::vector<float> got = in, want = in;
      ASSERT_EQ(ApplyWindow(got.data(), static_cast<std::int32_t>(n), type), 0);
      vard::signal::reference::ApplyWindow(want.data(), static_cast<std::int32_t>(n), type);
      // Bit patterns, not values: -0 and NaN must match too.
      ASSERT_EQ(std::memcmp(got.data(), want.data(), n * sizeof(float)), 0)
          << type << ", n = " << n;
      if (type < 1 || type > 3) {
        ASSERT_EQ(std::memcmp(got.data(), in.data(), n * sizeof(float)), 0) << type;
      }
    }
  }
  for (const std::int16_t type : {0, 1, 2, 3}) {
    EXPECT_EQ(ApplyWindow(nullptr, 0, type), 0);
    EXPECT_EQ(ApplyWindow(nullptr, -5, type), 0);
  }
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
}

}  // namespace
