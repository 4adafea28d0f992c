// A second client for the formula end-to-end tests: one scripted step
// against the real server, and a line saying what it saw.
//   formulas_peer change-and-read   sets e2e_u to 24, reads e2e_power, and
//                                   adds e2e_half = e2e_power / 2
#include <cstdio>
#include <string>

#include "vard32.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) != "change-and-read") return 2;
  InitDataManager();
  const short set = SetNumber("e2e_u", 24);
  double power = 0;
  const short read = GetNumber("e2e_power", &power);
  const short row = AddFormula("e2e_half", "e2e_power / 2", "W", "half the power");
  std::printf("%d %d %g %s\n", set, read, power, row > 0 ? "row" : "no row");
  ExitDataManager();
  return 0;
}
