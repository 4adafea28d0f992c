// A small client of the data pool: registers, creates and reads a number and
// a string, deletes them again and unregisters, printing every step.
#include <cstdio>

#include "vard32.h"

namespace {

const char* CodeName(short code) {
  switch (code) {
    case vardOK: return "vardOK";
    case vardNoSuchObject: return "vardNoSuchObject";
    case vardProcNotAllowed: return "vardProcNotAllowed";
    case vardAlreadyExists: return "vardAlreadyExists";
    case vardInvalidType: return "vardInvalidType";
    case vardInvalidName: return "vardInvalidName";
    case vardNotInitialized: return "vardNotInitialized";
    case vardException: return "vardException";
    case vardInvalidParameter: return "vardInvalidParameter";
    default: return "other";
  }
}

void Report(const char* step, short code) {
  std::printf("%-46s -> %d (%s)\n", step, code, CodeName(code));
}

}  // namespace

int main() {
  std::printf("VARD32 demo, client process %lu\n", GetCurrentProcessId());

  double value = 0;
  Report("GetNumber before InitDataManager", GetNumber("demo_voltage", &value));

  InitDataManager();
  std::printf("%-46s -> server started, block attached, registered\n", "InitDataManager");

  Report("CreateNumber demo_voltage = 3.25 V", CreateNumber("demo_voltage", 3.25, "V",
                                                            "supply voltage", "demo.power"));
  short code = GetNumber("demo_voltage", &value);
  Report("GetNumber demo_voltage", code);
  if (code == vardOK) std::printf("%-46s    value %.2f\n", "", value);
  char units[16] = {};
  code = GetUnits("demo_voltage", units);
  Report("GetUnits demo_voltage", code);
  if (code == vardOK) std::printf("%-46s    units \"%s\"\n", "", units);

  Report("CreateString demo_operator = \"Ada\"", CreateString("demo_operator", "Ada", "demo"));
  char text[64] = {};
  code = GetString("demo_operator", text, sizeof text);
  Report("GetString demo_operator", code);
  if (code == vardOK) std::printf("%-46s    text \"%s\"\n", "", text);

  short type = 0;
  Report("GetType demo_operator", GetType("demo_operator", &type));
  std::printf("%-46s    type %d\n", "", type);
  Report("CreateNumber demo_voltage again", CreateNumber("demo_voltage", 1, "V", nullptr, "demo"));
  Report("SetNumber on the string demo_operator", SetNumber("demo_operator", 1.0));
  Report("DeleteSubTree demo", DeleteSubTree("demo"));
  Report("GetNumber demo_voltage after the delete", GetNumber("demo_voltage", &value));

  ExitDataManager();
  std::printf("%-46s -> unregistered, block released\n", "ExitDataManager");
  return 0;
}
