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
#include "vard32.h"

using vard::test::FakeServer;
using vard::test::Put;
namespace proto = vard::proto;

namespace {

std::vector<std::uint32_t> Without(std::vector<std::uint32_t> codes, std::uint32_t drop) {
  std::erase(codes, drop);
  return codes;
}

// Replies vardOK and, to GetNumber, the value 2.5.
LRESULT AnswerNumbers(std::uint32_t code, std::uint8_t* block) {
  if (code == proto::kGetNumber) Put(block, offsetof(proto::ScalarRequest, Value), 2.5);
  return 0;
}

TEST(Link, RegistrationsAreCountedAndTheLastExitReleases) {
  FakeServer server;
  InitDataManager();
  InitDataManager();
  ExitDataManager();
  EXPECT_EQ(server.Codes(), (std::vector<std::uint32_t>{1, 3, 3, 4}));

  // Still connected: a data request goes through.
  server.SetHandler(AnswerNumbers);
  double v = 0;
  EXPECT_EQ(GetNumber("x", &v), vardOK);
  EXPECT_EQ(v, 2.5);

  ExitDataManager();
  auto codes = server.Codes();
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(std::vector<std::uint32_t>(codes.end() - 2, codes.end()),
            (std::vector<std::uint32_t>{4, 2}));

  // Released: the next call makes a new connection, which attaches again.
  server.Clear();
  EXPECT_EQ(GetNumber("x", &v), vardNotInitialized);
  EXPECT_EQ(server.Codes(), (std::vector<std::uint32_t>{1}));
  ExitDataManager();  // count -1: released at once, after 4 and 2
  EXPECT_EQ(server.Codes(), (std::vector<std::uint32_t>{1, 4, 2}));
}

TEST(Link, AttachHandsOverAUsableBlock) {
  FakeServer server;
  InitDataManager();
  auto requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].code, proto::kAttach);
  EXPECT_NE(requests[0].lParam, 0);
  EXPECT_TRUE(server.Attached());
  ExitDataManager();
  EXPECT_FALSE(server.Attached());
}

TEST(Link, DataCallBeforeInitStartsTheServerButSendsNothing) {
  FakeServer server;
  double v = -1;
  EXPECT_EQ(GetNumber("x", &v), vardNotInitialized);
  EXPECT_EQ(v, -1);  // untouched
  EXPECT_EQ(vardIsDigitalWaveform("x"), 0);
  EXPECT_EQ(server.Codes(), (std::vector<std::uint32_t>{1}));
  InitDataManager();
  ExitDataManager();
}

TEST(Link, OwnWindowIsTitledWithTheProcessId) {
  FakeServer server;
  InitDataManager();
  char title[32];
  std::snprintf(title, sizeof title, "VardServer %lu", GetCurrentProcessId());
  EXPECT_NE(FindWindowA("static", title), nullptr);
  ExitDataManager();
  EXPECT_EQ(FindWindowA("static", title), nullptr);
}

TEST(Link, UnregisteringAtUnloadSendsOneExitPerRegistration) {
  // The probe registers twice and unloads the library with a fake listening.
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  dir.resize(dir.find_last_of('\\') + 1);
  std::string command = "\"" + dir + "detach_probe.exe\"";
  FILE* pipe = _popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[128] = {};
  std::fgets(line, sizeof line, pipe);
  EXPECT_EQ(_pclose(pipe), 0);
  EXPECT_STREQ(line, "1 3 3 4 4 2 \n");
}

TEST(Link, ServerWindowThatAppearsLateIsFound) {
  FakeServer server(1500);
  InitDataManager();
  double v = 0;
  server.SetHandler(AnswerNumbers);
  EXPECT_EQ(GetNumber("x", &v), vardOK);
  EXPECT_EQ(server.Codes(), (std::vector<std::uint32_t>{1, 3, proto::kGetNumber}));
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

TEST(Link, ReplyCodeIsTheLowSixteenBits) {
  FakeServer server;
  InitDataManager();
  double v = 0;
  server.SetHandler([](std::uint32_t, std::uint8_t*) -> LRESULT { return 0x00070000; });
  EXPECT_EQ(GetNumber("x", &v), vardOK);
  server.SetHandler([](std::uint32_t, std::uint8_t*) -> LRESULT { return 0x1234FFFF; });
  EXPECT_EQ(GetNumber("x", &v), -1);
  ExitDataManager();
}

TEST(Link, FaultOnCallerPointerGivesExceptionAndReleasesTheLock) {
  FakeServer server;
  server.SetHandler(AnswerNumbers);
  InitDataManager();
  EXPECT_EQ(GetNumber("x", nullptr), vardException);

  // A name on a page that cannot be read.
  auto* page = static_cast<char*>(
      VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(page, nullptr);
  double v = 0;
  EXPECT_EQ(GetNumber(page, &v), vardException);
  EXPECT_EQ(GetNumber(page, &v), vardException);  // guards survive repeated faults
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
  ExitDataManager();
}

TEST(Link, ConcurrentCallersAreServedOneAtATime) {
  FakeServer server;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  server.SetHandler([&](std::uint32_t, std::uint8_t*) -> LRESULT {
    if (inside.fetch_add(1) != 0) overlapped = true;
    Sleep(1);
    inside.fetch_sub(1);
    return 0;
  });
  InitDataManager();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      double v;
      for (int i = 0; i < 25; ++i) GetNumber("x", &v);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(Without(server.Codes(), proto::kGetNumber), (std::vector<std::uint32_t>{1, 3}));
  ExitDataManager();
}

// Names reach the server through the wide conversion with room for n - 1
// bytes: a 30-byte name field carries at most 28 characters from a wide
// caller, always terminated.
TEST(Link, WideNamesAreCutToTheConversionRoom) {
  FakeServer server;
  InitDataManager();
  const std::wstring n28(28, L'w');
  const std::wstring n40(40, L'v');
  DeleteVariableW(n28.c_str());
  DeleteVariableW(n40.c_str());
  DeleteVariableW(nullptr);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 5u);
  const auto name = [&](int i) { return std::string(requests[i].As<proto::VariableRequest>().Name); };
  EXPECT_EQ(name(2), std::string(28, 'w'));
  EXPECT_EQ(name(3), std::string(28, 'v'));
  EXPECT_EQ(name(4), "");
  ExitDataManager();
}

TEST(Link, WideResultsAreCutAndTerminated) {
  FakeServer server;
  server.SetHandler([](std::uint32_t code, std::uint8_t* block) -> LRESULT {
    if (code == proto::kGetDescription) {
      std::memset(block + offsetof(proto::ScalarRequest, Description), 'd', 143);
    }
    return 0;
  });
  InitDataManager();
  wchar_t out[12];
  std::fill(std::begin(out), std::end(out), L'#');
  EXPECT_EQ(GetDescriptionW(L"x", out, 10), vardOK);
  EXPECT_EQ(std::wstring(out), std::wstring(8, L'd'));  // room for 9 units, terminator included
  EXPECT_EQ(out[10], L'#');                             // nothing past the caller's size
  ExitDataManager();
}

}  // namespace
