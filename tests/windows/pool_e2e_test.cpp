// The real server: one pool shared by every client process, a client that
// dies while registered, and the host's end after its last client.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "server/win/host.h"
#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

using vard::test::RunPeer;

bool HostRunning() { return FindWindowA(vard::server::host::kHostClass, nullptr) != nullptr; }

bool WaitUntil(bool (*condition)(), DWORD timeoutMs = 20000) {
  for (DWORD waited = 0; waited < timeoutMs && !condition(); waited += 50) Sleep(50);
  return condition();
}

TEST(Pool, TwoClientsShareOnePool) {
  InitDataManager();
  ASSERT_EQ(CreateNumber("e2e_number", 42.5, "V", "shared", "e2e"), vardOK);
  ASSERT_EQ(CreateString("e2e_string", "hello", "e2e"), vardOK);
  ASSERT_EQ(CreateNumber("e2e_leaf", 1.5, "A", nullptr, "e2e.sub.deeper"), vardOK);
  ASSERT_EQ(CreateNumber("e2e_gone", 0, "", nullptr, "e2e.sub"), vardOK);
  EXPECT_EQ(RunPeer("pool_peer.exe", "read-and-delete"), "0 42.5 0 hello 0 1.5 0\n");
  double v = 0;
  EXPECT_EQ(GetNumber("e2e_gone", &v), vardNoSuchObject);
  EXPECT_EQ(DeleteSubTree("e2e"), vardOK);
  EXPECT_EQ(GetNumber("e2e_number", &v), vardNoSuchObject);
  ExitDataManager();
}

TEST(Pool, AClientThatDiesLeavesThePoolWorking) {
  InitDataManager();
  HANDLE peer = vard::test::StartReady("pool_peer.exe", "hold e2e_held");
  ASSERT_NE(peer, nullptr);
  vard::test::Kill(peer);
  // What the dead client created stays; the pool answers as before.
  double v = 0;
  EXPECT_EQ(GetNumber("e2e_held", &v), vardOK);
  EXPECT_EQ(v, 7.0);
  EXPECT_EQ(DeleteVariable("e2e_held"), vardOK);
  EXPECT_EQ(CreateNumber("e2e_after", 1, "", nullptr, ""), vardOK);
  EXPECT_EQ(DeleteVariable("e2e_after"), vardOK);
  ExitDataManager();
}

// Servers started at the same moment for different clients settle on one
// host: every client sees what all the others created.
TEST(Pool, ClientsStartingTogetherShareOneHost) {
  ASSERT_TRUE(WaitUntil([] { return !HostRunning(); })) << "an earlier host lingers";
  constexpr int kPeers = 3;
  FILE* pipes[kPeers];
  for (int k = 0; k < kPeers; ++k) {
    const std::string args =
        std::string("race e2e_race ").append(std::to_string(kPeers) + " " + std::to_string(k));
    pipes[k] = _popen(vard::test::Command("pool_peer.exe", args).c_str(), "r");
    ASSERT_NE(pipes[k], nullptr);
  }
  for (int k = 0; k < kPeers; ++k) {
    EXPECT_EQ(vard::test::ReadLine(pipes[k]), "0 3\n") << "peer " << k;
    _pclose(pipes[k]);
  }
}

TEST(Pool, HostEndsAfterItsLastClientAndANewOneStartsFresh) {
  ASSERT_TRUE(WaitUntil([] { return !HostRunning(); })) << "an earlier host lingers";
  InitDataManager();
  EXPECT_TRUE(HostRunning());
  ASSERT_EQ(CreateNumber("e2e_transient", 1, "", nullptr, ""), vardOK);
  ExitDataManager();
  EXPECT_TRUE(WaitUntil([] { return !HostRunning(); }));  // the tests run with a short linger
  InitDataManager();
  double v = 0;
  EXPECT_EQ(GetNumber("e2e_transient", &v), vardNoSuchObject);
  ExitDataManager();
}

}  // namespace
