// Waveforms through the real server between two client processes: this one
// writes, waveform_peer reads and checks every value against the same
// generator. Also what a reader holding a lock sees when a writer republishes,
// and what a writer that dies leaves behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/windows/peer.h"
#include "tests/windows/waveform_e2e_data.h"
#include "tests/windows/waveform_e2e_write.h"
#include "vard32.h"

namespace {

using vard::e2e::WaveSpec;
using vard::e2e::Write;
using vard::test::RunPeer;

class WaveformE2ETest : public ::testing::Test {
 protected:
  void SetUp() override { InitDataManager(); }
  void TearDown() override { ExitDataManager(); }
};

TEST_F(WaveformE2ETest, WhatOneClientWritesAnotherReadsExactly) {
  for (const WaveSpec* w :
       {&vard::e2e::kFloatWave, &vard::e2e::kIntWave, &vard::e2e::kDigitalWave}) {
    SCOPED_TRACE(w->name);
    DeleteVariable(w->name);  // a leftover of an interrupted run
    short h = 0, second = 0;
    Write(*w, &h);
    EXPECT_EQ(OpenWaveform(w->name, &second), vardProcNotAllowed);
    // Nothing is visible before the close: the peer sees the new, empty waveform.
    EXPECT_EQ(RunPeer("waveform_peer.exe", std::string("peek ") + w->name), "0 0 1\n");
    EXPECT_EQ(CloseWaveform(h), vardOK);
    EXPECT_EQ(CloseWaveform(h), vardInvalidHandle);
    EXPECT_EQ(RunPeer("waveform_peer.exe", std::string("verify ") + w->name), "ok\n");
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
  FILE* pipe =
      _popen(vard::test::Command("waveform_peer.exe", std::string("hold ") + name).c_str(), "r");
  EXPECT_EQ(vard::test::ReadLine(pipe), "1\n");  // the peer holds its lock now
  ASSERT_EQ(OpenWaveform(name, &h), vardOK);
  ASSERT_EQ(WriteWaveform(h, 0, 0, &changed), vardOK);
  ASSERT_EQ(CloseWaveform(h), vardOK);
  SetEvent(go);
  EXPECT_EQ(vard::test::ReadLine(pipe), "1 99 99\n");  // old lock, new lock, value by name
  if (pipe) _pclose(pipe);
  CloseHandle(go);
  EXPECT_EQ(DeleteVariable(name), vardOK);
}

TEST_F(WaveformE2ETest, AWriterThatDiesLeavesNoClaimAndNoUnpublishedSamples) {
  const char* name = "e2e_orphan";
  DeleteVariable(name);
  ASSERT_EQ(CreateWaveform(name, vardInteger, ""), vardOK);
  HANDLE peer = vard::test::StartReady("waveform_peer.exe", std::string("write-and-hang ") + name);
  ASSERT_NE(peer, nullptr);
  short h = 0;
  EXPECT_EQ(OpenWaveform(name, &h), vardProcNotAllowed);
  vard::test::Kill(peer);
  // The server notices the death on its own time.
  short rc = vardProcNotAllowed;
  for (int i = 0; i < 200 && rc == vardProcNotAllowed; ++i) {
    rc = OpenWaveform(name, &h);
    if (rc == vardProcNotAllowed) Sleep(50);
  }
  ASSERT_EQ(rc, vardOK);
  EXPECT_EQ(RunPeer("waveform_peer.exe", std::string("peek ") + name),
            "0 0 1\n");  // nothing published
  EXPECT_EQ(CloseWaveform(h), vardOK);
  EXPECT_EQ(DeleteVariable(name), vardOK);
}

}  // namespace
