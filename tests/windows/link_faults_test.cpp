// The link when something dies: the server while a request waits for it,
// and a thread of the program while it holds the API lock.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "include/vard_protocol.h"
#include "tests/harness/fake_server.h"
#include "vard32.h"

using vard::test::FakeServer;
namespace proto = vard::proto;

namespace {

constexpr std::size_t kNameAt = offsetof(proto::ScalarRequest, Name);
constexpr std::size_t kValueAt = offsetof(proto::ScalarRequest, Value);

DWORD Elapsed(DWORD since) { return GetTickCount() - since; }

// The server's thread ends inside a request, as when its process is killed:
// that call and every later one answer "not initialised" (each export's own
// form of it) at once, never vardOK; a new registration cycle connects anew.
TEST(LinkFaults, AServerThatGoesAwayIsNeverAnsweredForAndAnewCycleConnects) {
  {
    FakeServer server;
    server.SetHandler([](std::uint32_t code, std::uint8_t* block) -> LRESULT {
      if (code == proto::kGetNumber && block[kNameAt] == 'd') ExitThread(0);
      return 0;
    });
    InitDataManager();
    double value = 1.0;
    const DWORD start = GetTickCount();
    EXPECT_EQ(GetNumber("die", &value), vardNotInitialized);
    EXPECT_EQ(SetNumber("x", 2.0), vardNotInitialized);
    EXPECT_EQ(vardIsDigitalWaveform("x"), 0);
    double r1, r2, r3, r4;
    EXPECT_EQ(Stl_Crest("x", 0, 0.0, &r1, &r2, &r3, &r4, nullptr, 0, 0), vardException);
    EXPECT_LT(Elapsed(start), 2000u);
    ExitDataManager();
  }
  FakeServer next;
  next.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
    vard::test::Put(block, kValueAt, 4.5);
    return 0;
  });
  InitDataManager();
  double value = 0;
  EXPECT_EQ(GetNumber("x", &value), vardOK);
  EXPECT_EQ(value, 4.5);
  ExitDataManager();
}

// A thread killed inside a request, holding the API lock: the next caller
// takes the lock over, waits until the server has finished the dead
// thread's request (which here writes into the block late), and then sends
// its own request intact.
TEST(LinkFaults, AThreadKilledHoldingTheLockHandsItOnAfterTheServerIsDone) {
  FakeServer server;
  HANDLE inside = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE finish = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  server.SetHandler([&](std::uint32_t code, std::uint8_t* block) -> LRESULT {
    if (code != proto::kGetNumber) return 0;
    if (block[kNameAt] == 's') {  // the slow request of the thread that dies
      SetEvent(inside);
      WaitForSingleObject(finish, INFINITE);
      std::memset(block, 0xEE, proto::kSampleAreaOffset);
      return 0;
    }
    vard::test::Put(block, kValueAt, block[kNameAt] == 'n' ? 7.0 : -1.0);
    return 0;
  });
  InitDataManager();
  HANDLE victim = CreateThread(
      nullptr, 0,
      [](LPVOID) WINAPI -> DWORD {
        double v;
        GetNumber("slow", &v);
        return 0;
      },
      nullptr, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(inside, 10000), WAIT_OBJECT_0);
  TerminateThread(victim, 9);
  WaitForSingleObject(victim, 10000);
  CloseHandle(victim);

  std::atomic<short> rc{-1};
  double value = 0;
  const DWORD start = GetTickCount();
  std::thread next([&] { rc = GetNumber("next", &value); });
  Sleep(300);
  EXPECT_EQ(rc.load(), -1);  // still waiting for the server, not writing the block
  SetEvent(finish);
  next.join();
  EXPECT_LT(Elapsed(start), 5000u);
  EXPECT_EQ(rc.load(), vardOK);
  EXPECT_EQ(value, 7.0);
  const auto codes = server.Codes();
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(codes[codes.size() - 2], 0u);  // the fence, answered after the dead request
  // Everybody goes on, on any thread.
  EXPECT_EQ(GetNumber("next", &value), vardOK);
  ExitDataManager();
  CloseHandle(inside);
  CloseHandle(finish);
}

}  // namespace
