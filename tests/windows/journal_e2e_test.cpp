// The pool's journal end to end: a host killed again and again in the middle
// of a write load. Every change whose reply came back is there in the next
// host (numbers created, set and deleted, waveforms closed), no value goes
// backwards, and no waveform is half written; the calls that were waiting
// when the host died answered vardNotInitialized within a bounded time.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "server/win/host.h"
#include "vard32.h"

namespace {

constexpr int kRounds = 4;
constexpr int kWriters = 2;
constexpr long kSamples = 20000;  // three chunks per write and per read

HWND HostWindow() { return FindWindowA(vard::server::host::kHostClass, nullptr); }

bool WaitForNoHost() {
  for (int waited = 0; waited < 20000 && HostWindow(); waited += 50) Sleep(50);
  return HostWindow() == nullptr;
}

// Ends the host the way a crash would.
bool KillHost() {
  DWORD pid = 0;
  GetWindowThreadProcessId(HostWindow(), &pid);
  HANDLE host = pid ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : nullptr;
  if (!host) return false;
  const bool killed = TerminateProcess(host, 9) && WaitForSingleObject(host, 10000) == 0;
  CloseHandle(host);
  return killed;
}

// What one writer thread knows was answered; a change in flight when the
// host died may or may not be there, so it is in none of these.
struct Writer {
  int id = 0;
  std::vector<std::string> present;  // created, not deleted
  std::vector<std::string> deleted;
  std::string counter, waveform;
  double counter_acked = -1, counter_tried = -1;
  float wave_acked = -1, wave_tried = -1;
  short failure = vardOK;  // a code other than vardOK and the dead host's
  int answered = 0;

  // False when the load ends: the host died, or something failed.
  bool Answered(short rc) {
    if (rc == vardOK) return ++answered, true;
    if (rc != vardNotInitialized) failure = rc;
    return false;
  }

  bool WriteWave(float value) {
    wave_tried = value;
    short h = 0;
    const std::vector<float> samples(kSamples, value);
    if (!Answered(OpenWaveform(waveform.c_str(), &h))) return false;
    if (!Answered(WriteWaveform(h, 0, kSamples - 1, samples.data()))) return false;
    if (!Answered(CloseWaveform(h))) return false;
    wave_acked = value;
    return true;
  }

  void Load(int round) {
    const std::string stem = "j" + std::to_string(round) + "_" + std::to_string(id) + "_";
    for (int i = 0;; ++i) {
      const std::string name = stem + std::to_string(i);
      if (!Answered(CreateNumber(name.c_str(), i, "V", "made under load", "journal"))) return;
      present.push_back(name);
      if (i % 4 == 3) {  // deletes one made a moment ago
        const std::string victim = present[present.size() - 3];
        present.erase(present.end() - 3);
        if (!Answered(DeleteVariable(victim.c_str()))) return;
        deleted.push_back(victim);
      }
      counter_tried += 1;
      if (!Answered(SetNumber(counter.c_str(), counter_tried))) return;
      counter_acked = counter_tried;
      if (i % 16 == 15 && !WriteWave(wave_tried + 1)) return;
    }
  }

  // In the new host: everything answered is there, nothing went backwards.
  void Verify() const {
    SCOPED_TRACE("writer " + std::to_string(id));
    double v = -2;
    for (const std::string& name : present) {
      EXPECT_EQ(GetNumber(name.c_str(), &v), vardOK) << name;
      EXPECT_EQ(std::to_string(static_cast<int>(v)), name.substr(name.rfind('_') + 1));
    }
    for (const std::string& name : deleted)
      EXPECT_EQ(GetNumber(name.c_str(), &v), vardNoSuchObject) << name;
    ASSERT_EQ(GetNumber(counter.c_str(), &v), vardOK);
    EXPECT_GE(v, counter_acked);
    EXPECT_LE(v, counter_tried);
    short src = 0;
    ASSERT_EQ(LockWaveform(waveform.c_str(), &src), vardOK);
    std::vector<float> samples(kSamples, -7);
    if (wave_acked >= 0) {
      ASSERT_EQ(GetWaveformData(src, 0, 0, kSamples - 1, 1, vardFloat, samples.data()), vardOK);
      EXPECT_GE(samples[0], wave_acked);
      EXPECT_LE(samples[0], wave_tried);
      EXPECT_EQ(samples, std::vector<float>(kSamples, samples[0]));  // one whole close
    }
    UnlockWaveform(src);
  }
};

class JournalE2ETest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WaitForNoHost()) << "an earlier host lingers";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "vard_journal_e2e_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder_.c_str(), nullptr);
    DeleteFileA((folder_ + "\\pool.journal").c_str());
    SetEnvironmentVariableA("VARD_POOL_JOURNAL", folder_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("VARD_POOL_JOURNAL", nullptr);
    SetEnvironmentVariableA("VARD_POOL_JOURNAL_FLUSH", nullptr);
    EXPECT_TRUE(WaitForNoHost());  // no durable host is left to the next test
    DeleteFileA((folder_ + "\\pool.journal").c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  std::string folder_;
};

TEST_F(JournalE2ETest, EveryAnsweredChangeSurvivesAKilledHost) {
  Writer writers[kWriters];
  InitDataManager();
  for (int k = 0; k < kWriters; ++k) {
    Writer& w = writers[k];
    w.id = k;
    w.counter = "jc_" + std::to_string(k);
    w.waveform = "jw_" + std::to_string(k);
    ASSERT_EQ(CreateNumber(w.counter.c_str(), -1, "", "", "journal"), vardOK);
    ASSERT_EQ(CreateWaveform(w.waveform.c_str(), vardFloat, "journal"), vardOK);
  }
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<std::thread> load;
    for (Writer& w : writers) load.emplace_back([&w, round] { w.Load(round); });
    Sleep(300 + 150 * round);
    ASSERT_TRUE(KillHost());
    const DWORD killed = GetTickCount();
    for (std::thread& t : load) t.join();
    EXPECT_LT(GetTickCount() - killed, 5000u) << "calls waiting on the dead host";
    double v = 0;
    EXPECT_EQ(GetNumber(writers[0].counter.c_str(), &v), vardNotInitialized);
    ExitDataManager();

    // The next cycle starts a new host, which replays the journal.
    SetEnvironmentVariableA("VARD_POOL_JOURNAL_FLUSH", round % 2 ? "everysec" : "always");
    InitDataManager();
    for (const Writer& w : writers) {
      EXPECT_EQ(w.failure, vardOK);
      w.Verify();
    }
  }
  for (const Writer& w : writers) EXPECT_GT(w.answered, 50) << "the load hardly ran";
  ExitDataManager();
}

}  // namespace
