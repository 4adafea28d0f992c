// The real server: one pool shared by every client process, a client that
// dies while registered, and the host's end after its last client.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "server/win/host.h"
#include "vard32.h"

namespace {

std::string OwnFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  return dir.substr(0, dir.find_last_of('\\') + 1);
}

std::string RunPeer(const std::string& args) {
  std::string command = "\"" + OwnFolder() + "pool_peer.exe\" " + args;
  FILE* pipe = _popen(command.c_str(), "r");
  if (!pipe) return "no pipe";
  char line[256] = {};
  if (!std::fgets(line, sizeof line, pipe)) line[0] = '\0';
  _pclose(pipe);
  return line;
}

bool HostRunning() { return FindWindowA(vard::server::host::kHostClass, nullptr) != nullptr; }

bool WaitUntil(bool (*condition)(), DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

TEST(Pool, TwoClientsShareOnePool) {
  InitDataManager();
  ASSERT_EQ(CreateNumber("e2e_number", 42.5, "V", "shared", "e2e"), vardOK);
  ASSERT_EQ(CreateString("e2e_string", "hello", "e2e"), vardOK);
  ASSERT_EQ(CreateNumber("e2e_leaf", 1.5, "A", nullptr, "e2e.sub.deeper"), vardOK);
  ASSERT_EQ(CreateNumber("e2e_gone", 0, "", nullptr, "e2e.sub"), vardOK);

  EXPECT_EQ(RunPeer("read-and-delete"), "0 42.5 0 hello 0 1.5 0\n");

  double v = 0;
  EXPECT_EQ(GetNumber("e2e_gone", &v), vardNoSuchObject);
  EXPECT_EQ(DeleteSubTree("e2e"), vardOK);
  EXPECT_EQ(GetNumber("e2e_number", &v), vardNoSuchObject);
  ExitDataManager();
}

TEST(Pool, AClientThatDiesLeavesThePoolWorking) {
  InitDataManager();
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "Local\\vard_pool_peer_ready");
  std::string command = "\"" + OwnFolder() + "pool_peer.exe\" hold e2e_held";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &si, &pi));
  ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);
  TerminateProcess(pi.hProcess, 9);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(ready);

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
  ASSERT_TRUE(WaitUntil([] { return !HostRunning(); }, 20000)) << "an earlier host lingers";
  constexpr int kPeers = 3;
  FILE* pipes[kPeers];
  for (int k = 0; k < kPeers; ++k) {
    std::string command = "\"" + OwnFolder() + "pool_peer.exe\" race e2e_race " +
                          std::to_string(kPeers) + " " + std::to_string(k);
    pipes[k] = _popen(command.c_str(), "r");
    ASSERT_NE(pipes[k], nullptr);
  }
  for (int k = 0; k < kPeers; ++k) {
    char line[64] = {};
    std::fgets(line, sizeof line, pipes[k]);
    _pclose(pipes[k]);
    EXPECT_STREQ(line, "0 3\n") << "peer " << k;
  }
}

TEST(Pool, HostEndsAfterItsLastClientAndANewOneStartsFresh) {
  ASSERT_TRUE(WaitUntil([] { return !HostRunning(); }, 20000)) << "an earlier host lingers";
  InitDataManager();
  EXPECT_TRUE(HostRunning());
  ASSERT_EQ(CreateNumber("e2e_transient", 1, "", nullptr, ""), vardOK);
  ExitDataManager();
  // The tests run with a short linger.
  EXPECT_TRUE(WaitUntil([] { return !HostRunning(); }, 20000));

  InitDataManager();
  double v = 0;
  EXPECT_EQ(GetNumber("e2e_transient", &v), vardNoSuchObject);
  ExitDataManager();
}

}  // namespace
