// Many clients at once: every request must see the pool in one consistent
// state, and the sanitizers must find nothing while the pool's table grows,
// shrinks and rehashes under the readers.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using testing::PoolClient;

TEST(PoolConcurrencyTest, MixedClientsSeeConsistentValues) {
  Pool pool;
  const std::string long_text(200, 'A'), short_text(37, 'B');
  {
    PoolClient setup(pool);
    ASSERT_EQ(setup.CreateString("Shared", long_text), vardOK);
    ASSERT_EQ(setup.CreateNumber("Counter", 0), vardOK);
  }
  constexpr int kRounds = 1500;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  auto spawn = [&](int count, auto body) {
    for (int k = 0; k < count; ++k)
      threads.emplace_back([&, k, body] {
        PoolClient c(pool);
        body(c, k);
      });
  };
  // Writers flip the string between texts of two lengths; the counter only grows.
  spawn(2, [&](PoolClient& c, int w) {
    for (int i = 0; i < kRounds; ++i) {
      failures +=
          c.Scalar(proto::kSetString, "Shared", (i + w) % 2 ? long_text : short_text) != vardOK;
      failures += w == 0 && c.Scalar(proto::kSetNumber, "Counter", "", i) != vardOK;
    }
  });
  // Readers must never see a mixture of the two texts, nor the counter go back.
  spawn(3, [&](PoolClient& c, int) {
    double last = -1;
    for (int i = 0; i < kRounds; ++i) {
      failures += c.Scalar(proto::kGetString, "shared") != vardOK;
      const std::string text = testing::Got(c.Reply().String);
      failures += text != long_text && text != short_text;
      failures += c.Scalar(proto::kGetNumber, "COUNTER") != vardOK || c.Value() < last;
      last = c.Value();
    }
  });
  // Churners create and drop variables of their own subtree, forcing rehashes.
  spawn(2, [&](PoolClient& c, int t) {
    const std::string path = std::string("Churn.T").append(std::to_string(t));
    for (int i = 0; i < kRounds / 10; ++i) {
      for (int k = 0; k < 40; ++k)
        failures += c.CreateNumber(path + "_" + std::to_string(k), k, "", "", path) != vardOK;
      failures += c.Variable(proto::kDeleteSubTree, "", path) != vardOK;
    }
  });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(pool.Read().Size(), 2u);
}

// Two clients racing to create one name: exactly one wins each round.
TEST(PoolConcurrencyTest, CreateIsAtomic) {
  Pool pool;
  constexpr int kRounds = 500;
  std::atomic<int> wins{0}, losses{0};
  auto racer = [&] {
    PoolClient c(pool);
    for (int i = 0; i < kRounds; ++i) {
      const std::uint32_t rc = c.CreateNumber(std::to_string(i) + "race", i);
      (rc == vardOK ? wins : losses) += rc == vardOK || rc == vardAlreadyExists;
    }
  };
  std::thread a(racer), b(racer);
  a.join();
  b.join();
  EXPECT_EQ(wins.load(), kRounds);
  EXPECT_EQ(losses.load(), kRounds);
}

}  // namespace
}  // namespace vard::server
