// Waveforms through the real server between two client processes: this one
// writes, waveform_peer reads and checks every value against the same
// generator. Also what a reader holding a lock sees when a writer republishes,
// and what a writer that dies leaves behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/windows/waveform_e2e_data.h"
#include "vard32.h"

namespace {

using vard::e2e::WaveSpec;

std::string PeerCommand(const std::string& args) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  dir.resize(dir.find_last_of('\\') + 1);
  return "\"" + dir + "waveform_peer.exe\" " + args;
}

std::string ReadLine(FILE* pipe) {
  char line[512] = {};
  if (!pipe || !std::fgets(line, sizeof line, pipe)) return "no answer";
  return line;
}

std::string RunPeer(const std::string& args) {
  FILE* pipe = _popen(PeerCommand(args).c_str(), "r");
  std::string line = ReadLine(pipe);
  if (pipe) _pclose(pipe);
  return line;
}

class WaveformE2ETest : public ::testing::Test {
 protected:
  void SetUp() override { InitDataManager(); }
  void TearDown() override { ExitDataManager(); }
};

// Create, axes, length, every sample in one WriteWaveform (the library cuts
// it into chunks), then each block's info after rewriting its first sample,
// which is what makes it the block WriteBlockInfo describes.
void Write(const WaveSpec& w, short* handle) {
  ASSERT_EQ(CreateWaveform(w.name, w.type, "e2e.waves"), vardOK);
  ASSERT_EQ(OpenWaveform(w.name, handle), vardOK);
  const short h = *handle;
  short type = 0;
  EXPECT_EQ(GetWaveformDataType(h, &type), vardOK);
  EXPECT_EQ(type, w.type);
  EXPECT_EQ(WriteHorizontal(h, w.x0, w.xStep, w.xUnits), vardOK);
  EXPECT_EQ(WriteVertical(h, w.y0, w.yStep, w.yUnits), vardOK);
  if (w.setLength) {
    EXPECT_EQ(SetWaveformLength(h, w.length), vardOK);
  }

  const auto data = vard::e2e::RawSamples(w, 0, w.Total());
  ASSERT_EQ(WriteWaveform(h, 0, w.Total() - 1, data.data()), vardOK);
  for (short b = 0; b < w.blocks; ++b) {
    const std::size_t at = static_cast<std::size_t>(b) * w.length * w.ElementSize();
    EXPECT_EQ(WriteWaveform(h, b * w.length, b * w.length, &data[at]), vardOK);
    EXPECT_EQ(WriteBlockInfo(h, vard::e2e::TriggerTime(b), 2024, 6, static_cast<short>(b + 1)),
              vardOK);
  }
  std::vector<std::uint8_t> back(data.size());
  EXPECT_EQ(ReadWaveform(h, 0, w.Total() - 1, back.data()), vardOK);
  EXPECT_TRUE(back == data) << "read-back differs";
}

TEST_F(WaveformE2ETest, WhatOneClientWritesAnotherReadsExactly) {
  for (const WaveSpec* w :
       {&vard::e2e::kFloatWave, &vard::e2e::kIntWave, &vard::e2e::kDigitalWave}) {
    SCOPED_TRACE(w->name);
    DeleteVariable(w->name);  // a leftover of an interrupted run
    short h = 0;
    Write(*w, &h);
    short second = 0;
    EXPECT_EQ(OpenWaveform(w->name, &second), vardProcNotAllowed);
    // Nothing is visible before the close: the peer sees the new, empty waveform.
    EXPECT_EQ(RunPeer(std::string("peek ") + w->name), "0 0 1\n");
    EXPECT_EQ(CloseWaveform(h), vardOK);
    EXPECT_EQ(CloseWaveform(h), vardInvalidHandle);
    EXPECT_EQ(RunPeer(std::string("verify ") + w->name), "ok\n");
    EXPECT_EQ(DeleteVariable(w->name), vardOK);
  }
}

TEST_F(WaveformE2ETest, ALockKeepsItsDataWhileNewReadersSeeTheRepublishedOne) {
  const char* name = "e2e_republish";
  DeleteVariable(name);
  ASSERT_EQ(CreateWaveform(name, vardFloat, ""), vardOK);
  short h = 0;
  const float first[3] = {1, 2, 3}, changed = 99;
  ASSERT_EQ(OpenWaveform(name, &h), vardOK);
  ASSERT_EQ(WriteWaveform(h, 0, 2, first), vardOK);
  ASSERT_EQ(CloseWaveform(h), vardOK);

  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "Local\\vard_waveform_peer_go");
  FILE* pipe = _popen(PeerCommand(std::string("hold ") + name).c_str(), "r");
  EXPECT_EQ(ReadLine(pipe), "1\n");  // the peer holds its lock now
  ASSERT_EQ(OpenWaveform(name, &h), vardOK);
  ASSERT_EQ(WriteWaveform(h, 0, 0, &changed), vardOK);
  ASSERT_EQ(CloseWaveform(h), vardOK);
  SetEvent(go);
  EXPECT_EQ(ReadLine(pipe), "1 99 99\n");  // old lock, new lock, value by name
  if (pipe) _pclose(pipe);
  CloseHandle(go);
  EXPECT_EQ(DeleteVariable(name), vardOK);
}

TEST_F(WaveformE2ETest, AWriterThatDiesLeavesNoClaimAndNoUnpublishedSamples) {
  const char* name = "e2e_orphan";
  DeleteVariable(name);
  ASSERT_EQ(CreateWaveform(name, vardInteger, ""), vardOK);
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "Local\\vard_waveform_peer_ready");
  std::string command = PeerCommand(std::string("write-and-hang ") + name);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi));
  ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);
  short h = 0;
  EXPECT_EQ(OpenWaveform(name, &h), vardProcNotAllowed);
  TerminateProcess(pi.hProcess, 9);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(ready);

  // The server notices the death on its own time.
  short rc = vardProcNotAllowed;
  for (int i = 0; i < 200 && rc == vardProcNotAllowed; ++i) {
    rc = OpenWaveform(name, &h);
    if (rc == vardProcNotAllowed) Sleep(50);
  }
  ASSERT_EQ(rc, vardOK);
  short src = 0;
  double x0, xStep;
  short record = 0;
  long length = -1;
  char units[10];
  ASSERT_EQ(LockWaveform(name, &src), vardOK);
  EXPECT_EQ(GetHorizontal(src, &x0, &xStep, &record, &length, units), vardOK);
  EXPECT_EQ(length, 0);  // the dead writer's samples were never published
  EXPECT_EQ(UnlockWaveform(src), vardOK);
  EXPECT_EQ(CloseWaveform(h), vardOK);
  EXPECT_EQ(DeleteVariable(name), vardOK);
}

}  // namespace
