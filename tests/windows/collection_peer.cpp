// The second client of the collection end-to-end test: "collection_peer FILE
// PREFIX" loads the collection and prints the reply code.
#include <cstdio>

#include "vard32.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  InitDataManager();
  std::printf("%d\n", LoadCollection(argv[1], argv[2]));
  ExitDataManager();
  return 0;
}
