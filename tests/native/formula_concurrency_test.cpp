// Computed variables read by many clients while others add and remove the
// variables they refer to, rewrite the formula and grow the pool: every read
// is the value of one consistent pool, and ThreadSanitizer finds no race in
// the formulas' shared name caches.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "server/core/formula_table.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using testing::PoolClient;

TEST(FormulaConcurrencyTest, ReadersSeeOnePoolWhileItChanges) {
  Pool pool;
  {
    PoolClient setup(pool);
    setup.CreateNumber("a", 1), setup.CreateNumber("b", 2), setup.CreateNumber("c", 3);
  }
  const int row = formula::AddFormula(pool, {"sum", "a + b + c", "", ""});
  ASSERT_GT(row, 0);
  ASSERT_GT(formula::AddFormula(pool, {"twice", "2 * sum", "", ""}), 0);
  constexpr int kRounds = 2000;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {  // b comes and goes
    PoolClient c(pool);
    for (int i = 0; i < kRounds; ++i) {
      failures += c.Variable(proto::kDeleteVariable, "b") != vardOK;
      failures += c.CreateNumber("b", 2) != vardOK;
    }
  });
  threads.emplace_back([&] {  // the formula is rewritten, the pool grows and rehashes
    PoolClient c(pool);
    for (int i = 0; i < kRounds; ++i) {
      failures += formula::SetFormula(pool, row, {"sum", i % 2 ? "c + b + a" : "a + b + c", "", ""}) != vardOK;
      failures += c.CreateNumber("filler" + std::to_string(i), i) != vardOK;
    }
  });
  for (int k = 0; k < 3; ++k) {
    threads.emplace_back([&] {
      PoolClient c(pool);
      for (int i = 0; i < kRounds; ++i) {
        const std::uint32_t rc = c.Scalar(proto::kGetNumber, i % 2 ? "sum" : "twice");
        const double expected = i % 2 ? 6 : 12;
        failures += rc == vardOK ? c.Value() != expected : rc != vardNotFound;
        failures += formula::Rows(pool).size() != 2;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace vard::server
