// GetNumber through the library against the real server, compared with a
// bare round trip: the same registered-message send to a trivial window of
// another process through a 64 KiB mapping. Both are measured in one run, in
// alternating rounds, and the ratio of the medians is reported.
#include <cstdio>

#include "bench/bench_common.h"
#include "vard32.h"

using vard::bench::BareTransport;
using vard::bench::Median;
using vard::bench::NowSeconds;

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;

  BareTransport bare;
  if (!bare.Start()) {
    std::fprintf(stderr, "bare transport did not start\n");
    return 1;
  }
  InitDataManager();
  if (CreateNumber("bench_number", 1.25, "V", "benchmark", "bench") != vardOK) {
    std::fprintf(stderr, "CreateNumber failed: is the real server there?\n");
    return 1;
  }
  double value = 0;
  for (int i = 0; i < 500; ++i) {  // warm both paths
    bare.RoundTrip();
    GetNumber("bench_number", &value);
  }
  std::vector<double> bareUs, libraryUs;
  for (int r = 0; r < rounds; ++r) {
    double t0 = NowSeconds();
    for (int i = 0; i < calls; ++i) bare.RoundTrip();
    double t1 = NowSeconds();
    for (int i = 0; i < calls; ++i) GetNumber("bench_number", &value);
    double t2 = NowSeconds();
    bareUs.push_back((t1 - t0) * 1e6 / calls);
    libraryUs.push_back((t2 - t1) * 1e6 / calls);
  }
  DeleteVariable("bench_number");
  ExitDataManager();

  const double b = Median(bareUs), l = Median(libraryUs);
  std::printf("bare round trip      %8.2f us\n", b);
  std::printf("GetNumber (library)  %8.2f us\n", l);
  std::printf("ratio                %8.3f   (target <= 1.10)\n", l / b);
  return value == 1.25 ? 0 : 1;
}
