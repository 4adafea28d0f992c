// A second client of the pool for the end-to-end tests. It runs one
// scripted step against the real server and prints what it saw.
//   pool_peer read-and-delete   reads e2e_* variables, deletes e2e_gone
//   pool_peer hold NAME         registers, creates NAME, signals, waits to be killed
//   pool_peer race NAME N       creates NAME_<k> for its own k, then waits until
//                               NAME_0 .. NAME_<N-1> all exist (one pool for all)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vard32.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  InitDataManager();
  if (std::strcmp(argv[1], "read-and-delete") == 0) {
    double v = 0;
    char text[64] = {};
    short a = GetNumber("e2e_number", &v);
    short b = GetString("e2e_string", text, sizeof text);
    double leaf = 0;
    short c = GetNumber("e2e_leaf", &leaf);
    short d = DeleteVariable("e2e_gone");
    std::printf("%d %g %d %s %d %g %d\n", a, v, b, text, c, leaf, d);
  } else if (std::strcmp(argv[1], "race") == 0 && argc >= 5) {
    const int count = std::atoi(argv[3]);
    char name[30];
    std::snprintf(name, sizeof name, "%s_%s", argv[2], argv[4]);
    short rc = CreateNumber(name, 1.0, "", nullptr, "e2e.race");
    int seen = 0;
    for (int tries = 0; tries < 300 && seen < count; ++tries) {
      seen = 0;
      for (int k = 0; k < count; ++k) {
        double v;
        std::snprintf(name, sizeof name, "%s_%d", argv[2], k);
        if (GetNumber(name, &v) == vardOK) ++seen;
      }
      if (seen < count) Sleep(50);
    }
    std::printf("%d %d\n", rc, seen);
  } else if (std::strcmp(argv[1], "hold") == 0 && argc >= 3) {
    short rc = CreateNumber(argv[2], 7.0, "s", "held by a client that dies", "e2e.held");
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Local\\vard_pool_peer_ready");
    if (ready) SetEvent(ready);
    if (rc != vardOK) return 3;
    Sleep(INFINITE);
  }
  ExitDataManager();
  return 0;
}
