// A small client of the data pool: registers, creates and reads a number, a
// string and a waveform, deletes them again and unregisters, printing every
// step.
#include <cmath>
#include <cstdio>
#include <vector>

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
  // A waveform: one second of a 5 Hz sine at 1 kHz, written and read back
  // reduced to the minimum and maximum of each 100-sample group.
  Report("CreateWaveform demo_sine (float)", CreateWaveform("demo_sine", vardFloat, "demo.signals"));
  short writer = 0;
  Report("OpenWaveform demo_sine", OpenWaveform("demo_sine", &writer));
  Report("WriteHorizontal 0 s, 1 ms", WriteHorizontal(writer, 0.0, 0.001, "s"));
  std::vector<float> samples(1000);
  for (int i = 0; i < 1000; ++i) samples[i] = static_cast<float>(std::sin(2 * 3.14159265 * 5 * i / 1000.0));
  Report("WriteWaveform 1000 samples", WriteWaveform(writer, 0, 999, samples.data()));
  Report("CloseWaveform (publishes it)", CloseWaveform(writer));
  short src = 0;
  Report("LockWaveform demo_sine", LockWaveform("demo_sine", &src));
  float minMax[20] = {};
  code = GetWaveformData(src, 0, 0, 999, 100, vardFloat, minMax);
  Report("GetWaveformData reduced by 100", code);
  if (code == vardOK) {
    std::printf("%-46s    min/max per group:", "");
    for (int g = 0; g < 10; ++g) std::printf(" %.2f/%.2f", minMax[2 * g] + 0.0, minMax[2 * g + 1] + 0.0);
    std::printf("\n");
  }
  double y = 0;
  code = GetWaveformValue("demo_sine", 0, 0.05, &y);
  Report("GetWaveformValue at 0.05 s", code);
  if (code == vardOK) std::printf("%-46s    y %.4f\n", "", y);
  Report("UnlockWaveform", UnlockWaveform(src));

  Report("DeleteSubTree demo", DeleteSubTree("demo"));
  Report("GetNumber demo_voltage after the delete", GetNumber("demo_voltage", &value));

  ExitDataManager();
  std::printf("%-46s -> unregistered, block released\n", "ExitDataManager");
  return 0;
}
