// The DDE relay end to end: the real server holding conversations with
// dde_peer, a DDEML server of the test suite's own.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>

#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

HANDLE g_peer = nullptr;

struct Answer {
  short code;
  std::string text;
};

Answer Request(const char* topic, const char* item, short timeout = 5000, short size = 256,
               const char* app = "VardTest") {
  std::string text(size, '\0');
  const short code = VARDDDERequest(app, topic, item, timeout, text.data(), size);
  return {code, text.c_str()};
}

// Waits as a program with windows must: taking messages meanwhile. (The
// library's window belongs to this thread, and opening a DDE conversation
// waits for every top-level window to answer.)
DWORD WaitPumping(HANDLE event) {
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, 20000, QS_ALLINPUT);
    if (r != WAIT_OBJECT_0 + 1) return r;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
}

class Dde : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitDataManager();
    g_peer = vard::test::StartReady("dde_peer.exe", "");
  }
  static void TearDownTestSuite() {
    if (g_peer) vard::test::Kill(g_peer);
    ExitDataManager();
  }
  void SetUp() override { ASSERT_NE(g_peer, nullptr); }
};

TEST_F(Dde, EachCodeHasItsCondition) {
  // app, topic, an item or "!command", the code
  const std::tuple<const char*, const char*, const char*, short> cases[] = {
      // clang-format off
      {"VardTest", "Data", "Fixed", 0},       {"vardtest", "DATA", "fixed", 0},
      {"VardTest", "Data", "!record", 0},     {"VardTest", "Busy", "!anything", 2},
      {"VardTest", "Nope", "Fixed", 3},       {"NoSuchService", "Data", "Fixed", 3},
      {"VardTest", "Data", "NoSuchItem", 4},  {"VardTest", "Data", "!reject", 4},
      {"", "Data", "Fixed", 1002},            {"VardTest", "Data", "", 1002},
      // clang-format on
  };
  for (const auto& [app, topic, text, code] : cases) {
    EXPECT_EQ(text[0] == '!' ? VARDDDECommand(app, topic, text + 1, 2000)
                             : Request(topic, text, 2000, 256, app).code,
              code)
        << app << "|" << topic << "|" << text;
  }
}

TEST_F(Dde, TextsTravelWholeBothWays) {
  EXPECT_EQ(Request("Data", "Fixed").text, "Gr\xFC\xDF\x65, DDE");
  EXPECT_EQ(Request("Data", "Fixed", 5000, 6).text, "Gr\xFC\xDF\x65");
  std::string command(65000, ' ');
  for (std::size_t i = 0; i < command.size(); ++i) command[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(VARDDDECommand("VardTest", "Data", command.c_str(), 5000), 0);
  EXPECT_EQ(Request("Data", "LastLength").text, "65000");
  EXPECT_EQ(Request("Data", "LastCommand", 5000, 32767).text, command.substr(0, 32766));

  const wchar_t wide[] = L"Gr\u00FC\u00DFe aus \u00C4gypten";
  ASSERT_EQ(VARDDDECommandW(L"VardTest", L"Data", wide, 5000), 0);
  wchar_t back[64] = {};
  EXPECT_EQ(VARDDDERequestW(L"VardTest", L"Data", L"LastCommand", 5000, back, 64), 0);
  EXPECT_STREQ(back, wide);
}

TEST_F(Dde, ConversationIsKeptAndReplacedWhenItsPartnerGoes) {
  const int counter = std::stoi(Request("Data", "Counter").text);
  const std::string connections = Request("Data", "Connections").text;
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(std::stoi(Request("Data", "Counter").text), counter + i);
  EXPECT_EQ(Request("Data", "Connections").text, connections);

  // A partner that went away is replaced within the request.
  vard::test::Kill(g_peer);
  g_peer = vard::test::StartReady("dde_peer.exe", "");
  EXPECT_EQ(Request("Data", "Counter").text, "1");
}

TEST_F(Dde, StalledPartnerTimesOutAndHoldsUpOnlyItsCaller) {
  HANDLE stalled = CreateEventA(nullptr, FALSE, FALSE, "Local\\vard_dde_stalled");
  HANDLE release = CreateEventA(nullptr, FALSE, FALSE, "Local\\vard_dde_release");
  EXPECT_EQ(Request("Data", "Stall", 300).code, vardDdeTimeout);
  ASSERT_EQ(WaitPumping(stalled), WAIT_OBJECT_0);
  SetEvent(release);

  // A second client is answered while the first waits on the stalled partner.
  std::atomic<bool> answered{false};
  Answer late{};
  std::thread caller([&] {
    late = Request("Data", "Stall", 20000);
    answered = true;
  });
  EXPECT_EQ(WaitPumping(stalled), WAIT_OBJECT_0);
  EXPECT_EQ(vard::test::RunPeer("pool_peer.exe", "race e2e_dde 1 0"), "0 1\n");
  EXPECT_FALSE(answered);
  SetEvent(release);
  caller.join();
  EXPECT_EQ(late.code, vardDdeNoError);
  EXPECT_EQ(late.text, "late");
  EXPECT_EQ(DeleteVariable("e2e_dde_0"), vardOK);
  CloseHandle(stalled);
  CloseHandle(release);
}

}  // namespace
