// A second client of the pool for the end-to-end tests. It runs one
// scripted step against the real server and prints what it saw.
//   pool_peer read-and-delete   reads e2e_* variables, deletes e2e_gone
//   pool_peer hold NAME         creates NAME, signals, waits to be killed
//   pool_peer race NAME N K     creates NAME_K, then waits until NAME_0 ..
//                               NAME_<N-1> all exist (one pool for all)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/windows/peer.h"
#include "vard32.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  InitDataManager();
  const std::string step = argv[1];
  if (step == "read-and-delete") {
    double v = 0, leaf = 0;
    char text[64] = {};
    const short a = GetNumber("e2e_number", &v), b = GetString("e2e_string", text, sizeof text);
    const short c = GetNumber("e2e_leaf", &leaf), d = DeleteVariable("e2e_gone");
    std::printf("%d %g %d %s %d %g %d\n", a, v, b, text, c, leaf, d);
  } else if (step == "race" && argc >= 5) {
    const int count = std::atoi(argv[3]);
    const short rc =
        CreateNumber((std::string(argv[2]) + "_" + argv[4]).c_str(), 1.0, "", nullptr, "e2e.race");
    int seen = 0;
    for (int tries = 0; tries < 300 && seen < count; ++tries) {
      seen = 0;
      for (int k = 0; k < count; ++k) {
        double v;
        seen += GetNumber((std::string(argv[2]) + "_" + std::to_string(k)).c_str(), &v) == vardOK;
      }
      if (seen < count) Sleep(50);
    }
    std::printf("%d %d\n", rc, seen);
  } else if (step == "hold" && argc >= 3) {
    CreateNumber(argv[2], 7.0, "s", "held by a client that dies", "e2e.held");
    vard::test::SignalReadyAndHang();
  }
  ExitDataManager();
  return 0;
}
