// Variable enumeration through the library against the real server, with a
// pool of 100 000 variables: a full FindFirstVariable/FindNextVariable walk
// and GetVariablesInPath of a level holding 10 000 names, each compared in
// the same run with as many bare round trips (the same message to a trivial
// window of another process), the floor that one request per name sets.
// The figures are in docs/enumeration.md.
//
//   scripts/bench.sh enumeration_bench [rounds]
#include <cstdio>
#include <cstring>

#include "bench/bench_common.h"
#include "vard32.h"

using vard::bench::BareTransport;
using vard::bench::Median;
using vard::bench::NowSeconds;

namespace {

constexpr int kVariables = 100'000;
constexpr int kBigLevel = 10'000;  // the names of "Bench.Big"

// 90 000 numbers over 900 paths of 100, then 10 000 in one level.
bool Fill() {
  char name[32], path[64];
  for (int i = 0; i < kVariables; ++i) {
    if (i < kVariables - kBigLevel) {
      std::snprintf(name, sizeof name, "n%05d", i);
      std::snprintf(path, sizeof path, "Bench.A%02d.G%02d", i / 1000, i / 100 % 10);
    } else {
      std::snprintf(name, sizeof name, "b%04d", i - (kVariables - kBigLevel));
      std::snprintf(path, sizeof path, "Bench.Big");
    }
    if (CreateNumber(name, i, "", nullptr, path) != vardOK) return false;
  }
  return true;
}

// One whole enumeration; the number of variables it reported.
int Enumerate() {
  char name[30], path[258];
  const long handle = FindFirstVariable(vardNavigateAll, name, path);
  if (handle == 0) return 0;
  int count = 1;
  while (FindNextVariable(handle, name, path) == vardOK) ++count;
  FindVariableClose(handle);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  BareTransport bare;
  if (!bare.Start()) {
    std::fprintf(stderr, "bare transport did not start\n");
    return 1;
  }
  InitDataManager();
  const double t0 = NowSeconds();
  if (!Fill()) {
    std::fprintf(stderr, "CreateNumber failed: is the real server there?\n");
    return 1;
  }
  std::printf("created %d variables     %8.2f s\n", kVariables, NowSeconds() - t0);

  char list[16];
  std::vector<double> walk, floor, first, path_list, floor_list;
  int reported = 0;
  for (int r = 0; r < rounds; ++r) {
    double t = NowSeconds();
    reported = Enumerate();
    walk.push_back(NowSeconds() - t);
    t = NowSeconds();
    for (int i = 0; i < reported + 1; ++i) bare.RoundTrip();
    floor.push_back(NowSeconds() - t);

    char name[30], path[258];
    CreateNumber("bench_change", 0, "", nullptr, "");  // a change: the next snapshot is new
    DeleteVariable("bench_change");
    t = NowSeconds();
    const long h = FindFirstVariable(vardNavigateAll, name, path);
    first.push_back(NowSeconds() - t);
    FindVariableClose(h);

    // The 10 000 names make a 60 001-byte list, more than any BufferSize
    // (a 16-bit count) can take: a negative size asks for the whole room, the
    // server builds and writes the whole list, and the library answers
    // vardBufferToSmall without copying. What is timed is the request.
    constexpr int kCalls = 20;
    t = NowSeconds();
    for (int i = 0; i < kCalls; ++i) GetVariablesInPath("Bench.Big", vardNavigateAll, list, -1);
    path_list.push_back((NowSeconds() - t) / kCalls);
    t = NowSeconds();
    // The bare floor copies as much (15 001 samples, 60 004 bytes) from the
    // echo server's store into the block.
    for (int i = 0; i < kCalls; ++i) bare.Transfer(vard::bench::kEchoToClient, 0, 15001);
    floor_list.push_back((NowSeconds() - t) / kCalls);
  }
  DeleteSubTree("Bench");
  ExitDataManager();

  const double w = Median(walk), f = Median(floor);
  std::printf("variables reported       %8d\n", reported);
  std::printf("full enumeration         %8.3f s   (%.2f us per name; target < 1 s)\n", w,
              w * 1e6 / reported);
  std::printf("bare round trips, same n %8.3f s   ratio %.3f\n", f, w / f);
  std::printf("FindFirstVariable, fresh %8.2f ms  (snapshot of %d variables)\n",
              Median(first) * 1e3, kVariables);
  std::printf("GetVariablesInPath 10k   %8.2f ms\n", Median(path_list) * 1e3);
  std::printf("bare round trip, 60 kB   %8.2f ms  (the server side copies 60 004 bytes)\n",
              Median(floor_list) * 1e3);
  return reported == kVariables ? 0 : 1;
}
