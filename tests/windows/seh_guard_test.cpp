// The structured-exception guard on its own: a fault ends the guarded body
// and nothing else, on every thread, any number of times, nested or not; a
// C++ exception is never taken.
#include "link/seh_guard.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using vard::link::SehGuard;

volatile int g_zero = 0;
volatile int g_hundred = 100;
volatile int g_sink = 0;
volatile int* volatile g_null = nullptr;

// A page that faults on any access.
class NoAccessPage {
 public:
  NoAccessPage()
      : page_(static_cast<char*>(
            VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS))) {}
  ~NoAccessPage() { VirtualFree(page_, 0, MEM_RELEASE); }
  volatile char* get() const { return page_; }

 private:
  char* page_;
};

NoAccessPage g_page;

struct Fault {
  const char* name;
  void (*raise)();
};
const Fault kFaults[] = {
    {"write to a no-access page", [] { *g_page.get() = 1; }},
    {"read through a null pointer", [] { g_sink = *g_null; }},
    {"integer division by zero", [] { g_sink = g_hundred / g_zero; }},
};

TEST(SehGuard, EveryFaultEndsTheBodyAndTheThreadGoesOn) {
  for (const Fault& fault : kFaults) {
    int reached = 0;
    for (int i = 0; i < 200; ++i) {
      EXPECT_FALSE(SehGuard([&] {
        fault.raise();
        ++reached;
      })) << fault.name;
    }
    EXPECT_EQ(reached, 0) << fault.name;
  }
  int ran = 0;
  EXPECT_TRUE(SehGuard([&] { ++ran; }));
  EXPECT_EQ(ran, 1);
}

TEST(SehGuard, AFaultResumesTheInnermostGuard) {
  bool inner = true, after = false;
  const bool outer = SehGuard([&] {
    inner = SehGuard([] { kFaults[0].raise(); });
    after = true;
    // The outer guard is in force again once the inner one has returned.
    kFaults[2].raise();
  });
  EXPECT_FALSE(inner);
  EXPECT_TRUE(after);
  EXPECT_FALSE(outer);
}

TEST(SehGuard, CppExceptionsPassThroughUntouched) {
  bool caughtInside = false;
  EXPECT_TRUE(SehGuard([&] {
    try {
      throw std::runtime_error("inside");
    } catch (const std::runtime_error&) {
      caughtInside = true;
    }
  }));
  EXPECT_TRUE(caughtInside);
  EXPECT_THROW(SehGuard([] { throw std::logic_error("out"); }), std::logic_error);
  // The guard left by the exception no longer takes faults; a new one does.
  EXPECT_FALSE(SehGuard([] { kFaults[1].raise(); }));
}

TEST(SehGuard, ThreadsFaultIndependently) {
  // One thread waits inside its guard while others fault in theirs.
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  bool waiterCompleted = true;
  std::thread waiter([&] {
    waiterCompleted = SehGuard([&] {
      WaitForSingleObject(go, INFINITE);
      kFaults[0].raise();
    });
  });
  std::atomic<int> recovered{0};
  std::vector<std::thread> faulting;
  for (int t = 0; t < 4; ++t) {
    faulting.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        if (!SehGuard([&] { kFaults[(t + i) % 3].raise(); })) ++recovered;
      }
    });
  }
  for (auto& t : faulting) t.join();
  SetEvent(go);
  waiter.join();
  CloseHandle(go);
  EXPECT_EQ(recovered, 400);
  EXPECT_FALSE(waiterCompleted);
}

}  // namespace
