// GetNumber of a computed variable (the 10-term formula of formula_bench)
// against GetNumber of a stored one, through the library and the real
// server. Rounds of the two alternate in one run; the ratio of the medians
// is reported.
#include <cstdio>
#include <cstdlib>

#include "bench/bench_common.h"
#include "vard32.h"

using vard::bench::Median;
using vard::bench::NowSeconds;

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
  InitDataManager();
  for (const char* name : {"u", "i", "p", "q", "r", "s", "t", "v", "w", "x"}) {
    if (CreateNumber(name, 1.25, "", nullptr, "bench") != vardOK) {
      std::fprintf(stderr, "CreateNumber failed: is the real server there?\n");
      return 1;
    }
  }
  const short row = AddFormula(
      "bench_computed", "u*2 + i/3 - p*p + sqrt(q) + r*1.5 - 4*s + t^2 + abs(v) + max(w, 1) - x/7",
      "", "");
  if (row <= 0) {
    std::fprintf(stderr, "AddFormula failed: %d\n", row);
    return 1;
  }
  double value = 0;
  for (int i = 0; i < 500; ++i) {  // warm both paths
    GetNumber("u", &value);
    GetNumber("bench_computed", &value);
  }
  std::vector<double> storedUs, computedUs;
  for (int r = 0; r < rounds; ++r) {
    double t0 = NowSeconds();
    for (int i = 0; i < calls; ++i) GetNumber("u", &value);
    double t1 = NowSeconds();
    for (int i = 0; i < calls; ++i) GetNumber("bench_computed", &value);
    double t2 = NowSeconds();
    storedUs.push_back((t1 - t0) * 1e6 / calls);
    computedUs.push_back((t2 - t1) * 1e6 / calls);
  }
  DeleteFormula(row);
  DeleteSubTree("bench");
  ExitDataManager();

  const double s = Median(storedUs), c = Median(computedUs);
  std::printf("GetNumber, stored     %8.2f us\n", s);
  std::printf("GetNumber, computed   %8.2f us\n", c);
  std::printf("ratio                 %8.3f   (target <= 1.20)\n", c / s);
  return 0;
}
