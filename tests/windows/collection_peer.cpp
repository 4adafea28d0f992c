// The second client of the collection end-to-end test. One step, one line
// on stdout:
//   load FILE PREFIX     loads the collection: "<code>"
//   open-and-hang FILE   creates a collection, adds a variable, signals,
//                        waits to be killed
#include <cstdio>
#include <string>

#include "tests/windows/peer.h"
#include "vard32.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  InitDataManager();
  const std::string step = argv[1];
  if (step == "load") {
    std::printf("%d\n", LoadCollection(argv[2], argc > 3 ? argv[3] : ""));
  } else if (step == "open-and-hang") {
    short coll = 0;
    CreateNumber("e2e_coll_hang", 1.0, "", "", "");
    CreateCollection(argv[2], "", &coll);
    AddToCollection(coll, "e2e_coll_hang", "", 0);
    vard::test::SignalReadyAndHang();
  }
  ExitDataManager();
  return 0;
}
