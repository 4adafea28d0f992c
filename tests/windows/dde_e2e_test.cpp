// The DDE relay end to end: the real server holding conversations with
// dde_peer, a DDEML server of the test suite's own.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

constexpr char kService[] = "VardTest";

HANDLE g_peer = nullptr;

struct Answer {
  short code;
  std::string text;
};

Answer Request(const char* topic, const char* item, short timeout = 5000, short size = 256,
               const char* app = kService) {
  std::string text(size > 0 ? size : 1, '\0');
  const short code = VARDDDERequest(app, topic, item, timeout, text.data(), size);
  return {code, text.c_str()};
}

// Waits as a program with windows must: delivering messages meanwhile. (The
// library's window belongs to this thread, and opening a DDE conversation
// waits for every top-level window to answer.)
DWORD WaitPumping(HANDLE event, DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD waited = GetTickCount() - start;
    const DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, waited < ms ? ms - waited : 0,
                                              QS_ALLINPUT);
    if (r != WAIT_OBJECT_0 + 1) return r;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
}

void StartPeer() {
  g_peer = vard::test::StartReady("dde_peer.exe", "serve");
  ASSERT_NE(g_peer, nullptr);
}

class Dde : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitDataManager();
    StartPeer();
  }
  static void TearDownTestSuite() {
    if (g_peer) vard::test::Kill(g_peer);
    ExitDataManager();
  }
};

TEST_F(Dde, EachCodeHasItsCondition) {
  const struct {
    const char* app;
    const char* topic;
    const char* text;  // an item, or "!command"
    short expected;
  } cases[] = {
      {kService, "Data", "Fixed", vardDdeNoError},
      {kService, "data", "FIXED", vardDdeNoError},  // DDE names ignore case
      {kService, "Data", "!record this", vardDdeNoError},
      {kService, "Busy", "!anything", vardDdeBusy},
      {kService, "Nope", "Fixed", vardDdeNoConversation},
      {"NoSuchService", "Data", "Fixed", vardDdeNoConversation},
      {kService, "Data", "NoSuchItem", vardDdeUnknownRequest},
      {kService, "Data", "!reject", vardDdeUnknownCommand},
      {"", "Data", "Fixed", vardDdeInvalidParameter},
      {kService, "Data", "", vardDdeInvalidParameter},
  };
  for (const auto& c : cases) {
    const short code = c.text[0] == '!' ? VARDDDECommand(c.app, c.topic, c.text + 1, 2000)
                                        : Request(c.topic, c.text, 2000, 256, c.app).code;
    EXPECT_EQ(code, c.expected) << c.app << "|" << c.topic << "|" << c.text;
  }
}

TEST_F(Dde, TextsTravelWholeBothWays) {
  EXPECT_EQ(Request("Data", "Fixed").text, "Gr\xFC\xDF" "e, DDE");
  EXPECT_EQ(Request("Data", "Alphabet", 5000, 10).text, "ABCDEFGHI");

  std::string command(65000, ' ');
  for (std::size_t i = 0; i < command.size(); ++i) command[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(VARDDDECommand(kService, "Data", command.c_str(), 5000), vardDdeNoError);
  EXPECT_EQ(Request("Data", "LastLength").text, "65000");
  EXPECT_EQ(Request("Data", "LastCommand", 5000, 32767).text, command.substr(0, 32766));

  const wchar_t wide[] = L"Gr\u00FC\u00DFe aus \u00C4gypten";
  ASSERT_EQ(VARDDDECommandW(L"VardTest", L"Data", wide, 5000), vardDdeNoError);
  wchar_t back[64] = {};
  EXPECT_EQ(VARDDDERequestW(L"VardTest", L"Data", L"LastCommand", 5000, back, 64),
            vardDdeNoError);
  EXPECT_STREQ(back, wide);
}

TEST_F(Dde, ConversationIsKeptAndReplacedWhenItsPartnerGoes) {
  const int counter = std::stoi(Request("Data", "Counter").text);
  const std::string connections = Request("Data", "Connections").text;
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(std::stoi(Request("Data", "Counter").text), counter + i);
  EXPECT_EQ(Request("Data", "Connections").text, connections);  // no new conversation

  vard::test::Kill(g_peer);
  g_peer = nullptr;
  EXPECT_EQ(Request("Data", "Counter").code, vardDdeNoConversation);
  StartPeer();
  EXPECT_EQ(Request("Data", "Counter").text, "1");
}

TEST_F(Dde, StalledPartnerTimesOutAndHoldsUpOnlyItsCaller) {
  HANDLE stalled = CreateEventA(nullptr, FALSE, FALSE, "Local\\vard_dde_stalled");
  HANDLE release = CreateEventA(nullptr, FALSE, FALSE, "Local\\vard_dde_release");
  ASSERT_EQ(CreateNumber("e2e_dde_number", 2.5, "", nullptr, ""), vardOK);

  EXPECT_EQ(Request("Data", "Stall", 300).code, vardDdeTimeout);
  ASSERT_EQ(WaitPumping(stalled, 20000), WAIT_OBJECT_0);
  SetEvent(release);

  // A second client's request is answered while the first waits on the
  // stalled partner.
  std::atomic<bool> answered{false};
  Answer late{};
  std::thread caller([&] {
    late = Request("Data", "Stall", 20000);
    answered = true;
  });
  ASSERT_EQ(WaitPumping(stalled, 20000), WAIT_OBJECT_0);
  EXPECT_EQ(vard::test::RunPeer("dde_peer.exe", "number e2e_dde_number"), "0 2.5\n");
  EXPECT_FALSE(answered);
  SetEvent(release);
  caller.join();
  EXPECT_EQ(late.code, vardDdeNoError);
  EXPECT_EQ(late.text, "late");

  EXPECT_EQ(DeleteVariable("e2e_dde_number"), vardOK);
  CloseHandle(stalled);
  CloseHandle(release);
}

}  // namespace
