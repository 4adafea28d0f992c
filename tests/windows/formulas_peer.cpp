// A second client for formulas_e2e_test: sets e2e_u to 24, reads e2e_power,
// adds e2e_half = e2e_power / 2, and prints what it saw.
#include <cstdio>

#include "vard32.h"

int main() {
  InitDataManager();
  const short set = SetNumber("e2e_u", 24);
  double power = 0;
  const short read = GetNumber("e2e_power", &power);
  const short row = AddFormula("e2e_half", "e2e_power / 2", "W", "half the power");
  std::printf("%d %d %g %s\n", set, read, power, row > 0 ? "row" : "no row");
  ExitDataManager();
}
