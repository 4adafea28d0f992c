// The link to the server: start, registration counting, teardown, the call
// frame's lock and exception guard, and the text conversions of wide exports.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "include/vard_protocol.h"
#include "tests/harness/fake_server.h"
#include "tests/windows/peer.h"
#include "tests/windows/requests_fixture.h"
#include "vard32.h"

using vard::test::FakeServer;
using Codes = std::vector<std::uint32_t>;
namespace proto = vard::proto;

namespace {

// Replies vardOK and, to GetNumber, the value 2.5.
LRESULT AnswerNumbers(std::uint32_t code, std::uint8_t* block) {
  if (code == proto::kGetNumber) vard::test::Put(block, offsetof(proto::ScalarRequest, Value), 2.5);
  return 0;
}

TEST(Link, RegistrationsAreCountedAndTheLastExitReleases) {
  FakeServer server;
  InitDataManager();
  InitDataManager();
  ExitDataManager();
  EXPECT_EQ(server.Codes(), (Codes{1, 3, 3, 4}));
  // Still connected: a data request goes through the block.
  server.SetHandler(AnswerNumbers);
  double v = 0;
  EXPECT_EQ(GetNumber("x", &v), vardOK);
  EXPECT_EQ(v, 2.5);
  server.Clear();
  ExitDataManager();
  EXPECT_EQ(server.Codes(), (Codes{4, 2}));
  // Released: the next call makes a new connection, which attaches again.
  server.Clear();
  EXPECT_EQ(GetNumber("x", &v), vardNotInitialized);
  EXPECT_EQ(server.Codes(), (Codes{1}));
  ExitDataManager();  // count -1: released at once, after 4 and 2
  EXPECT_EQ(server.Codes(), (Codes{1, 4, 2}));
}

TEST(Link, DataCallBeforeInitStartsTheServerButSendsNothing) {
  FakeServer server;
  double v = -1;
  EXPECT_EQ(GetNumber("x", &v), vardNotInitialized);
  EXPECT_EQ(v, -1);  // untouched
  EXPECT_EQ(vardIsDigitalWaveform("x"), 0);
  EXPECT_EQ(server.Codes(), (Codes{1}));
  InitDataManager();
  ExitDataManager();
}

// The probe registers twice and unloads the library with a fake listening.
TEST(Link, UnregisteringAtUnloadSendsOneExitPerRegistration) {
  EXPECT_EQ(vard::test::RunPeer("detach_probe.exe"), "1 3 3 4 4 2 \n");
}

TEST(Link, ServerWindowThatAppearsLateIsFound) {
  FakeServer server(1500);
  InitDataManager();
  double v = 0;
  server.SetHandler(AnswerNumbers);
  EXPECT_EQ(GetNumber("x", &v), vardOK);
  EXPECT_EQ(server.Codes(), (Codes{1, 3, proto::kGetNumber}));
  ExitDataManager();
}

TEST(Link, ServerWindowAfterTheDeadlineIsNotUsed) {
  FakeServer server(10600);
  InitDataManager();  // gives up after 10 s: no block, no attach
  EXPECT_EQ(DeleteVariable("x"), vardNotInitialized);
  server.WaitForWindow();
  EXPECT_EQ(DeleteVariable("x"), vardNotInitialized);  // no second look-up
  EXPECT_TRUE(server.Codes().empty());
  ExitDataManager();
}

// The rest run registered, against a fake server that answers 0 unless told otherwise.
using Registered = vard::test::RequestTest;

TEST_F(Registered, ReplyCodeIsTheLowSixteenBits) {
  double v = 0;
  server_.SetHandler([](std::uint32_t, std::uint8_t*) -> LRESULT { return 0x00070000; });
  EXPECT_EQ(GetNumber("x", &v), vardOK);
  server_.SetHandler([](std::uint32_t, std::uint8_t*) -> LRESULT { return 0x1234FFFF; });
  EXPECT_EQ(GetNumber("x", &v), -1);
}

TEST_F(Registered, FaultOnCallerPointerGivesExceptionAndReleasesTheLock) {
  server_.SetHandler(AnswerNumbers);
  EXPECT_EQ(GetNumber("x", nullptr), vardException);
  // A name on a page that cannot be read; the guard survives repeated faults.
  auto* page =
      static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(page, nullptr);
  double v = 0;
  EXPECT_EQ(GetNumber(page, &v), vardException);
  EXPECT_EQ(GetNumber(page, &v), vardException);
  VirtualFree(page, 0, MEM_RELEASE);
  // The lock was released: another thread gets through, and so does this one.
  short other = -1;
  std::thread([&] {
    double w = 0;
    other = GetNumber("x", &w);
  }).join();
  EXPECT_EQ(other, vardOK);
  EXPECT_EQ(GetNumber("x", &v), vardOK);
  EXPECT_EQ(v, 2.5);
}

TEST_F(Registered, ConcurrentCallersAreServedOneAtATime) {
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  server_.SetHandler([&](std::uint32_t, std::uint8_t*) -> LRESULT {
    if (inside.fetch_add(1) != 0) overlapped = true;
    Sleep(1);
    inside.fetch_sub(1);
    return 0;
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      double v;
      for (int i = 0; i < 25; ++i) GetNumber("x", &v);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(SentCodes(), Codes(100, proto::kGetNumber));
}

// Names reach the server through the wide conversion with room for n - 1
// bytes: a 30-byte name field carries at most 28 characters from a wide
// caller, always terminated.
TEST_F(Registered, WideNamesAreCutToTheConversionRoom) {
  DeleteVariableW(std::wstring(28, L'w').c_str());
  DeleteVariableW(std::wstring(40, L'v').c_str());
  DeleteVariableW(nullptr);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  const auto name = [&](int i) { return std::string(sent[i].As<proto::VariableRequest>().Name); };
  EXPECT_EQ(name(0), std::string(28, 'w'));
  EXPECT_EQ(name(1), std::string(28, 'v'));
  EXPECT_EQ(name(2), "");
}

TEST_F(Registered, WideResultsAreCutAndTerminated) {
  server_.SetHandler([](std::uint32_t code, std::uint8_t* block) -> LRESULT {
    if (code == proto::kGetDescription)
      std::memset(block + offsetof(proto::ScalarRequest, Description), 'd', 143);
    return 0;
  });
  wchar_t out[12];
  std::fill(std::begin(out), std::end(out), L'#');
  EXPECT_EQ(GetDescriptionW(L"x", out, 10), vardOK);
  EXPECT_EQ(std::wstring(out), std::wstring(8, L'd'));  // room for 9 units, terminator included
  EXPECT_EQ(out[10], L'#');                             // nothing past the caller's size
}

}  // namespace
