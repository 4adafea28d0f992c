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
  struct Case {
    std::int16_t type;
    std::vector<double> weights;
  };
  const std::vector<double> rise = {0, 0.146447, 0.5, 0.853553};
  std::vector<double> force40(40, 1.0);
  for (int i = 0; i < 4; ++i) force40[i] = force40[39 - i] = rise[i];
  const std::vector<Case> cases = {
      {vard::signal::kHanning, {0}},
      {vard::signal::kHanning, {0, 0.5, 1, 0.5}},
      {vard::signal::kHanning, {0, 0.146447, 0.5, 0.853553, 1, 0.853553, 0.5, 0.146447}},
      {vard::signal::kFlattop, {4.636}},
      {vard::signal::kFlattop, {0, -0.262, 4.636, -0.262}},
      {vard::signal::kFlattop, {-0.065525, 0.247525, 4.636, 0.247525, -0.065525}},
      {vard::signal::kFlattop,
       {0, -0.118359, -0.262, 2.062359, 4.636, 2.062359, -0.262, -0.118359}},
      {vard::signal::kForce, std::vector<double>(9, 1.0)},  // W = 0: nothing tapered
      {vard::signal::kForce, {0, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
      {vard::signal::kForce, {0, 0.5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0.5, 0}},
      {vard::signal::kForce, force40},
  };
  for (const Case& c : cases) {
    const std::vector<float> got = Weights(c.type, c.weights.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_NEAR(got[i], c.weights[i], 2e-6) << c.type << ", n = " << got.size() << ", i = " << i;
    }
  }
  // Periodic Hann: exactly 0 first, peak at N/2. Flat top: mean 1 for N > 4,
  // 1.028 for N = 4.
  const std::vector<float> hann = Weights(vard::signal::kHanning, 1000);
  EXPECT_EQ(hann[0], 0.0f);
  EXPECT_NEAR(hann[500], 1.0, 1e-7);
  for (const std::size_t n : {4u, 5u, 8u, 1001u}) {
    const std::vector<float> w = Weights(vard::signal::kFlattop, n);
    EXPECT_NEAR(std::accumulate(w.begin(), w.end(), 0.0) / n, n == 4 ? 1.028 : 1.0, 1e-6) << n;
  }
}

}  // namespace
