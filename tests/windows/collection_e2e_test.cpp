// Collections through the real server: every kind of variable saved by one
// client and loaded by another after the server has ended and started anew,
// and the server killed while it closes a large collection, again and again.
// (A dying client's open collection goes with its session: collection_test.)
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/windows/peer.h"
#include "tests/windows/waveform_e2e_data.h"
#include "vard32.h"

namespace {

using vard::test::RunPeer;

namespace stdfs = std::filesystem;

// A folder of its own in the temporary folder, removed with what is left in it.
struct Folder {
  const stdfs::path path =
      stdfs::temp_directory_path() / ("vard_coll_" + std::to_string(GetCurrentProcessId()));
  Folder() { stdfs::create_directories(path); }
  ~Folder() { stdfs::remove_all(path); }
  std::string operator/(const char* name) const { return (path / name).string(); }
};

std::vector<char> Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr char kHostClass[] = "zorVardPoolHost";

// The pool host's process, for the test that kills it.
HANDLE HostProcess() {
  DWORD pid = 0;
  GetWindowThreadProcessId(FindWindowA(kHostClass, nullptr), &pid);
  return OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
}

const vard::e2e::WaveSpec* const kWaves[] = {&vard::e2e::kFloatWave, &vard::e2e::kIntWave,
                                             &vard::e2e::kDigitalWave};

TEST(CollectionE2ETest, EveryKindComesBackInAnotherClientAfterAServerRestart) {
  Folder dir;
  const std::string file = dir / "all.vcl";
  InitDataManager();
  DeleteSubTree("e2e"), DeleteVariable("e2e_coll_f");  // leftovers of an interrupted run
  ASSERT_EQ(CreateNumber("e2e_coll_num", -1.5e-7, "mV", "a number", "e2e.coll"), vardOK);
  ASSERT_EQ(CreateString("e2e_coll_str", "saved text", "e2e.coll"), vardOK);
  ASSERT_GT(AddFormula("e2e_coll_f", "2 * e2e_coll_num", "mV", "twice"), 0);
  for (const auto* w : kWaves) {
    short h = 0;
    ASSERT_EQ(vard::e2e::WriteSpec(*w, "e2e.waves", &h), vardOK);
    ASSERT_EQ(CloseWaveform(h), vardOK);
  }
  short coll = 0;
  ASSERT_EQ(CreateCollection(file.c_str(), "every kind", &coll), vardCollReturnOK);
  std::vector<std::string> names = {"e2e_coll_num", "e2e_coll_str", "e2e_coll_f"};
  for (const auto* w : kWaves) names.push_back(w->name);
  for (const auto& name : names) EXPECT_EQ(AddToCollection(coll, name.c_str(), "", 0), vardOK);
  EXPECT_EQ(AddToCollection(coll, "e2e_coll_num", "e2e_coll_copy", 0), vardOK);
  EXPECT_EQ(CloseCollection(coll), vardOK);
  ExitDataManager();
  for (int i = 0; i < 200 && FindWindowA(kHostClass, nullptr); ++i) Sleep(50);
  ASSERT_FALSE(FindWindowA(kHostClass, nullptr));  // the host has ended, and the pool with it

  InitDataManager();  // a new host, an empty pool
  // Through the command interpreter, which would take quotes apart: the
  // temporary folder's path has no blanks here.
  EXPECT_EQ(RunPeer("collection_peer.exe", file + " Restored"), "0\n");
  names.push_back("e2e_coll_copy");
  double value = 0, copy = 0, twice = 0;
  char units[10] = {}, description[144] = {}, text[256] = {};
  EXPECT_EQ(GetNumber("e2e_coll_num", &value) | GetNumber("e2e_coll_copy", &copy) |
                GetNumber("e2e_coll_f", &twice) | GetUnits("e2e_coll_copy", units) |
                GetDescription("e2e_coll_num", description, 144) |
                GetString("e2e_coll_str", text, sizeof text),
            vardOK);
  EXPECT_EQ(value, -1.5e-7);
  EXPECT_EQ(copy, value);
  EXPECT_STREQ(units, "mV");
  EXPECT_STREQ(description, "a number");
  EXPECT_STREQ(text, "saved text");
  EXPECT_EQ(twice, 2 * value);  // a formula again, computed from the loaded number
  EXPECT_EQ(SetNumber("e2e_coll_f", 1), vardProcNotAllowed);
  for (const auto* w : kWaves)  // axes, block info, every sample
    EXPECT_EQ(RunPeer("waveform_peer.exe", std::string("verify ") + w->name), "ok\n") << w->name;
  // Every variable came back under the prefix, and only there.
  EXPECT_EQ(DeleteSubTree("Restored.e2e"), vardOK);
  EXPECT_EQ(DeleteSubTree("Restored.Formulas"), vardOK);
  for (const auto& name : names) {
    short type = 0;
    EXPECT_EQ(GetType(name.c_str(), &type), vardNoSuchObject) << name;
  }
  ExitDataManager();
}

// Round 0 closes undisturbed and measures how long that takes; every later
// round kills the pool host at a different moment of its close. The target
// must then be the previous round's file byte for byte, or a new collection
// that loads whole (the load checks every CRC) with this round's data.
TEST(CollectionE2ETest, KillingTheServerWhileItClosesLeavesTheOldFileOrTheNewOneWhole) {
  Folder dir;
  const std::string file = dir / "big.vcl";
  constexpr long kSamples = 8L << 20;  // 32 MB of floats
  std::vector<float> samples(kSamples, 0.25f);
  std::vector<char> old;
  DWORD close_ms = 0;
  int kept_old = 0;
  for (int round = 0; round < 7; ++round) {
    SCOPED_TRACE(round);
    InitDataManager();
    short h = 0, coll = 0;
    samples[kSamples - 1] = static_cast<float>(round);
    ASSERT_EQ(CreateWaveform("e2e_big", vardFloat, ""), vardOK);
    ASSERT_EQ(OpenWaveform("e2e_big", &h), vardOK);
    ASSERT_EQ(WriteWaveform(h, 0, kSamples - 1, samples.data()), vardOK);
    ASSERT_EQ(CloseWaveform(h), vardOK);
    ASSERT_EQ(CreateCollection(file.c_str(), "", &coll), vardOK);
    ASSERT_EQ(AddToCollection(coll, "e2e_big", "", 0), vardOK);
    if (round == 0) {
      const DWORD start = GetTickCount();
      EXPECT_EQ(CloseCollection(coll), vardOK);
      close_ms = GetTickCount() - start;
      DeleteVariable("e2e_big");
    } else {
      HANDLE host = HostProcess();
      std::thread closer([coll] { CloseCollection(coll); });
      Sleep(close_ms * (round - 1) / 4);  // 0 to 5/4 of an undisturbed close
      vard::test::Kill(host);
      closer.join();
    }
    ExitDataManager();  // a killed host's connection goes; the next call starts a new one

    const std::vector<char> now = Contents(file);
    if (!old.empty() && now == old) {
      ++kept_old;
      continue;
    }
    InitDataManager();
    ASSERT_EQ(LoadCollection(file.c_str(), ""), vardOK);
    double last = -1;
    EXPECT_EQ(GetWaveformValue("e2e_big", 0, kSamples - 1.0, &last), vardOK);
    EXPECT_EQ(last, round);
    DeleteVariable("e2e_big");
    ExitDataManager();
    old = now;
  }
  EXPECT_GT(kept_old, 0) << "no kill came before the replacement; a close took " << close_ms;
}

}  // namespace
