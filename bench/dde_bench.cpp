// Round trips of VARDDDERequest per second against dde_peer (the test suite's
// DDEML server), with the server's conversation cache and without it (each
// request then opens and closes a conversation). The two alternate round by
// round in one run; the pool host is restarted for each round, since the
// cache setting (VARD_DDE_IDLE_MS) is read when a client's DDE thread starts.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/bench_common.h"
#include "server/win/host.h"
#include "tests/windows/peer.h"
#include "vard32.h"

using vard::bench::Median;
using vard::bench::NowSeconds;

namespace {

// Calls per second of one round, or 0 when a request failed.
double Round(bool cached, int calls) {
  for (int i = 0; i < 400 && FindWindowA(vard::server::host::kHostClass, nullptr); ++i) Sleep(25);
  SetEnvironmentVariableA("VARD_DDE_IDLE_MS", cached ? nullptr : "0");
  InitDataManager();
  char value[64];
  bool ok = VARDDDERequest("VardTest", "Data", "Fixed", 5000, value, sizeof value) == 0;
  const double t0 = NowSeconds();
  for (int i = 0; i < calls && ok; ++i) {
    ok = VARDDDERequest("VardTest", "Data", "Fixed", 5000, value, sizeof value) == 0;
  }
  const double t1 = NowSeconds();
  ExitDataManager();
  return ok ? calls / (t1 - t0) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  SetEnvironmentVariableA("VARD_POOL_LINGER_MS", "0");
  HANDLE peer = vard::test::StartReady("dde_peer.exe", "");
  if (!peer) {
    std::fprintf(stderr, "dde_peer did not start\n");
    return 1;
  }
  std::vector<double> with, without;
  for (int r = 0; r < rounds; ++r) {
    with.push_back(Round(true, calls));
    without.push_back(Round(false, calls / 10));
  }
  vard::test::Kill(peer);
  const double w = Median(with), wo = Median(without);
  std::printf("VARDDDERequest with the conversation cache     %9.0f per second\n", w);
  std::printf("VARDDDERequest opening a conversation each time %9.0f per second\n", wo);
  std::printf("ratio                                           %9.1f\n", wo > 0 ? w / wo : 0.0);
  return w > 0 && wo > 0 ? 0 : 1;
}
