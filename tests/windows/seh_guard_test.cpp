// The structured-exception guard on its own: a fault ends the innermost
// guarded body and nothing else, on every thread, any number of times; a C++
// exception is never taken.
#include "link/seh_guard.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using vard::link::SehGuard;

volatile int g_zero = 0, g_hundred = 100, g_sink = 0;
volatile int* volatile g_null = nullptr;
volatile char* const g_no_access = static_cast<char*>(
    VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));

void (*const kFaults[])() = {
    [] { *g_no_access = 1; },               // write to a no-access page
    [] { g_sink = *g_null; },              // read through a null pointer
    [] { g_sink = g_hundred / g_zero; },  // integer division by zero
};

TEST(SehGuard, AFaultEndsTheInnermostBodyAnyNumberOfTimes) {
  int reached = 0;
  for (int i = 0; i < 600; ++i) {
    EXPECT_FALSE(SehGuard([&] {
      kFaults[i % 3]();
      ++reached;
    })) << "fault " << i % 3;
  }
  EXPECT_EQ(reached, 0);
  bool inner = true, after = false;
  EXPECT_FALSE(SehGuard([&] {
    inner = SehGuard(kFaults[0]);
    after = true;
    kFaults[2]();  // the outer guard is in force again
  }));
  EXPECT_FALSE(inner);
  EXPECT_TRUE(after);
  EXPECT_TRUE(SehGuard([&] { ++reached; }));
  EXPECT_EQ(reached, 1);
}

TEST(SehGuard, CppExceptionsPassThroughUntouched) {
  EXPECT_TRUE(SehGuard([] {
    try {
      throw std::runtime_error("inside");
    } catch (const std::runtime_error&) {
    }
  }));
  EXPECT_THROW(SehGuard([] { throw std::logic_error("out"); }), std::logic_error);
  EXPECT_FALSE(SehGuard(kFaults[1]));  // and a new guard still takes faults
}

TEST(SehGuard, ThreadsFaultIndependently) {
  // One thread waits inside its guard while others fault in theirs.
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  bool waiter_completed = true;
  std::thread waiter([&] {
    waiter_completed = SehGuard([&] {
      WaitForSingleObject(go, INFINITE);
      kFaults[0]();
    });
  });
  std::atomic<int> recovered{0};
  std::vector<std::thread> faulting;
  for (int t = 0; t < 4; ++t) {
    faulting.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) recovered += !SehGuard(kFaults[(t + i) % 3]);
    });
  }
  for (auto& t : faulting) t.join();
  SetEvent(go);
  waiter.join();
  CloseHandle(go);
  EXPECT_EQ(recovered, 400);
  EXPECT_FALSE(waiter_completed);
}

}  // namespace
