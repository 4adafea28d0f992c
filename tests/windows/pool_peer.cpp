// A second client of the pool for the end-to-end tests. It runs one
// scripted step against the real server and prints what it saw.
//   pool_peer read-and-delete   reads e2e_* variables, deletes e2e_gone
//   pool_peer hold NAME         registers, creates NAME, signals, waits to be killed
#include <windows.h>

#include <cstdio>
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
