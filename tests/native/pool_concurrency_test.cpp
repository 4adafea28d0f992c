// Many clients at once: every request must see the pool in one consistent
// state, and the sanitizers must find nothing while the pool's table grows,
// shrinks and rehashes under the readers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using testing::PoolClient;

TEST(PoolConcurrencyTest, MixedClientsSeeConsistentValues) {
  Pool pool;
  {
    PoolClient setup(pool);
    ASSERT_EQ(setup.CreateString("Shared", std::string(200, 'A')), kOK);
    ASSERT_EQ(setup.CreateNumber("Counter", 0), kOK);
  }
  constexpr int kWriters = 2, kReaders = 3, kChurners = 2, kRounds = 1500;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;

  // Writers flip the string between two texts of different lengths; the
  // counter only grows.
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      PoolClient c(pool);
      for (int i = 0; i < kRounds; ++i) {
        const std::string text = (i + w) % 2 ? std::string(200, 'A') : std::string(37, 'B');
        if (c.Scalar(proto::kSetString, "Shared", text) != kOK) ++failures;
        if (w == 0 && c.Scalar(proto::kSetNumber, "Counter", "", i) != kOK) ++failures;
      }
    });
  }
  // Readers must never see a mixture of the two texts.
  for (int r = 0; r < kReaders; ++r) {
    threads.emplace_back([&] {
      PoolClient c(pool);
      double last = -1;
      for (int i = 0; i < kRounds; ++i) {
        if (c.Scalar(proto::kGetString, "shared") != kOK) ++failures;
        const std::string text = testing::Got(c.Reply().String);
        if (text != std::string(200, 'A') && text != std::string(37, 'B')) ++failures;
        if (c.Scalar(proto::kGetNumber, "COUNTER") != kOK || c.Value() < last) ++failures;
        last = c.Value();
      }
    });
  }
  // Churners create and drop variables of their own subtree, forcing the
  // table to rehash while the others read.
  for (int t = 0; t < kChurners; ++t) {
    threads.emplace_back([&, t] {
      PoolClient c(pool);
      char path[16];
      std::snprintf(path, sizeof path, "Churn.T%d", t);
      for (int i = 0; i < kRounds / 10; ++i) {
        for (int k = 0; k < 40; ++k) {
          char name[16];
          std::snprintf(name, sizeof name, "c%d_%d", t, k);
          if (c.CreateNumber(name, k, "", "", path) != kOK) ++failures;
        }
        if (c.Variable(proto::kDeleteSubTree, "", path) != kOK) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(pool.Read().Size(), 2u);
}

// Two clients racing to create one name: exactly one wins each round.
TEST(PoolConcurrencyTest, CreateIsAtomic) {
  Pool pool;
  constexpr int kRounds = 500;
  std::atomic<int> wins{0}, losses{0}, others{0};
  auto racer = [&] {
    PoolClient c(pool);
    for (int i = 0; i < kRounds; ++i) {
      const std::uint32_t rc = c.CreateNumber(std::string("race") + std::to_string(i), i);
      (rc == kOK ? wins : rc == kAlreadyExists ? losses : others)++;
    }
  };
  std::thread a(racer), b(racer);
  a.join();
  b.join();
  EXPECT_EQ(wins.load(), kRounds);
  EXPECT_EQ(losses.load(), kRounds);
  EXPECT_EQ(others.load(), 0);
}

}  // namespace
}  // namespace vard::server
