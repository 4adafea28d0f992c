// A 32-bit and a 64-bit client on one machine share one pool through one
// pool host, whichever bitness the host is. This test is a client of one
// bitness; its peers are the same peer programs of the other build
// (VARD_PEER_DIR), each starting the server of its own bitness.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "server/win/host.h"
#include "tests/windows/peer.h"
#include "tests/windows/waveform_e2e_write.h"
#include "vard32.h"

namespace {

using vard::test::RunPeer;

constexpr int kOwnBits = sizeof(void*) * 8;
constexpr int kPeerBits = kOwnBits == 32 ? 64 : 32;

std::string PeerFolder() {
  const char* dir = std::getenv("VARD_PEER_DIR");
  std::string folder = dir ? dir : "";
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

// 32 or 64 for the running pool host, 0 when there is none.
int HostBits() {
  HWND host = FindWindowA(vard::server::host::kHostClass, nullptr);
  DWORD pid = 0;
  if (!host || !GetWindowThreadProcessId(host, &pid)) return 0;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  BOOL wow64 = FALSE;
  const BOOL known = process && IsWow64Process(process, &wow64);
  if (process) CloseHandle(process);
  // Only a 32-bit process on a 64-bit system runs under WoW64.
  return known ? (wow64 ? 32 : 64) : 0;
}

bool NoHost() {
  for (int i = 0; i < 400 && HostBits() != 0; ++i) Sleep(50);
  return HostBits() == 0;
}

class MixedPool : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = PeerFolder();
    ASSERT_FALSE(folder_.empty()) << "VARD_PEER_DIR names the other bitness's programs";
    ASSERT_NE(GetFileAttributesA((folder_ + "pool_peer.exe").c_str()), INVALID_FILE_ATTRIBUTES)
        << "no " << kPeerBits << "-bit build in " << folder_;
    ASSERT_TRUE(NoHost()) << "an earlier host lingers";
  }

  // Numbers, texts, a subtree and every sample of a waveform between this
  // client and a peer of the other bitness, in both directions.
  void Exchange() {
    ASSERT_EQ(CreateNumber("e2e_number", 42.5, "V", "shared", "e2e"), vardOK);
    ASSERT_EQ(CreateString("e2e_string", "hello", "e2e"), vardOK);
    ASSERT_EQ(CreateNumber("e2e_leaf", 1.5, "A", nullptr, "e2e.sub.deeper"), vardOK);
    ASSERT_EQ(CreateNumber("e2e_gone", 0, "", nullptr, "e2e.sub"), vardOK);
    EXPECT_EQ(RunPeer("pool_peer.exe", "read-and-delete", folder_), "0 42.5 0 hello 0 1.5 0\n");
    double v = 0;
    EXPECT_EQ(GetNumber("e2e_gone", &v), vardNoSuchObject);  // the peer deleted it
    const vard::e2e::WaveSpec& wave = vard::e2e::kIntWave;
    short h = 0;
    vard::e2e::Write(wave, &h);
    EXPECT_EQ(CloseWaveform(h), vardOK);
    EXPECT_EQ(RunPeer("waveform_peer.exe", std::string("verify ") + wave.name, folder_), "ok\n");
    EXPECT_EQ(DeleteSubTree("e2e"), vardOK);
  }

  std::string folder_;
};

TEST_F(MixedPool, HostOfTheOtherBitnessServesThisClient) {
  HANDLE holder = vard::test::StartReady("pool_peer.exe", "hold e2e_held", folder_);
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(HostBits(), kPeerBits);
  InitDataManager();
  double v = 0;
  EXPECT_EQ(GetNumber("e2e_held", &v), vardOK);
  EXPECT_EQ(v, 7.0);
  Exchange();
  vard::test::Kill(holder);
  EXPECT_EQ(HostBits(), kPeerBits);  // still the same host, now serving this client alone
  ExitDataManager();
}

TEST_F(MixedPool, HostOfThisBitnessServesTheOtherClient) {
  InitDataManager();
  EXPECT_EQ(HostBits(), kOwnBits);
  Exchange();
  ExitDataManager();
}

}  // namespace
