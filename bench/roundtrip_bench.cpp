// GetNumber through the library against the real server, compared with a
// bare round trip: the same registered-message send to a trivial window of
// another process through a 64 KiB mapping. Both are measured in one run;
// every round times a batch of each, which one goes first alternating from
// round to round, and the ratio of the medians is reported.
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
  DeleteVariable("bench_number");  // left over if an earlier run was cut short
  if (CreateNumber("bench_number", 1.25, "V", "benchmark", "bench") != vardOK) {
    std::fprintf(stderr, "CreateNumber failed: is the real server there?\n");
    return 1;
  }
  double value = 0;
  for (int i = 0; i < 500; ++i) {  // warm both paths
    bare.RoundTrip();
    GetNumber("bench_number", &value);
  }
  // Microseconds per call of a batch of body().
  auto batch = [calls](auto body) {
    const double t0 = NowSeconds();
    for (int i = 0; i < calls; ++i) body();
    return (NowSeconds() - t0) * 1e6 / calls;
  };
  auto bareRound = [&] { bare.RoundTrip(); };
  auto libraryCall = [&] { GetNumber("bench_number", &value); };
  std::vector<double> bareUs, libraryUs;
  for (int r = 0; r < rounds; ++r) {
    if (r % 2 == 0) {
      bareUs.push_back(batch(bareRound));
      libraryUs.push_back(batch(libraryCall));
    } else {
      libraryUs.push_back(batch(libraryCall));
      bareUs.push_back(batch(bareRound));
    }
  }
  DeleteVariable("bench_number");
  ExitDataManager();

  const double b = Median(bareUs), l = Median(libraryUs);
  std::printf("bare round trip      %8.2f us\n", b);
  std::printf("GetNumber (library)  %8.2f us\n", l);
  std::printf("ratio                %8.3f   (target <= 1.10)\n", l / b);
  return value == 1.25 ? 0 : 1;
}
