// The second client of the analysis end-to-end test:
//   analyse NAME   measures the statistics of NAME over and over, after
//                  signalling that it has started, until it is killed.
#include <cmath>
#include <cstring>

#include "tests/windows/peer.h"
#include "vard32.h"

int main(int argc, char** argv) {
  if (argc < 3 || std::strcmp(argv[1], "analyse") != 0) return 2;
  InitDataManager();
  double mean, rms, sigma, area, energy;
  for (bool first = true;; first = false) {
    if (WaveformStatistics(argv[2], 0, -INFINITY, INFINITY, &mean, &rms, &sigma, &area, &energy) !=
        vardOK)
      return 1;
    if (first) vard::test::SignalReady();
  }
}
