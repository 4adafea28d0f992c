// The reading client of the waveform end-to-end test. It runs one step
// against the real server and prints one line on stdout:
//   verify NAME          locks NAME and checks axes, block info and every
//                        sample against the generator: "ok", or the first
//                        difference
//   peek NAME            locks NAME: "<code> <Length> <Record>"
//   hold NAME            locks NAME, prints sample 0, waits for the test's
//                        event, then prints sample 0 through the old lock, a
//                        new lock and GetWaveformValue
//   write-and-hang NAME  opens NAME, writes samples, signals, waits to be killed
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/peer.h"
#include "tests/windows/waveform_e2e_data.h"
#include "vard32.h"

namespace {

using vard::e2e::RawSamples;
using vard::e2e::WaveSpec;

std::string g_failure;

bool Check(bool ok, const char* format, ...) {
  if (!ok && g_failure.empty()) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_failure = text;
  }
  return ok;
}

void Verify(const WaveSpec& w) {
  short src = 0, record = 0;
  if (!Check(LockWaveform(w.name, &src) == vardOK, "LockWaveform failed")) return;
  double x0 = 0, xStep = 0, y0 = 0, yStep = 0;
  long length = 0;
  char xUnits[10] = {}, yUnits[10] = {}, name[500] = {};
  Check(GetHorizontal(src, &x0, &xStep, &record, &length, xUnits) == vardOK && x0 == w.x0 &&
            xStep == w.xStep && record == w.blocks && length == w.length &&
            !std::strcmp(xUnits, w.xUnits),
        "X axis: %g %g %d %ld '%s'", x0, xStep, record, length, xUnits);
  Check(GetVertical(src, &y0, &yStep, name, yUnits) == vardOK && y0 == w.y0 && yStep == w.yStep &&
            !std::strcmp(name, w.name) && !std::strcmp(yUnits, w.yUnits),
        "Y axis: %g %g '%s' '%s'", y0, yStep, name, yUnits);
  for (short b = 0; b < w.blocks; ++b) {
    double t = 0;
    short year = 0, month = 0, day = 0;
    Check(GetBlockInfo(src, b, &t, &year, &month, &day) == vardOK &&
              t == vard::e2e::TriggerTime(b) && year == 2024 && month == 6 && day == b + 1,
          "block %d info: %g %d-%d-%d", b, t, year, month, day);
  }
  // Every sample, block by block, in the waveform's own type.
  std::vector<std::uint8_t> got(static_cast<std::size_t>(w.length) * w.ElementSize());
  for (short b = 0; b < w.blocks; ++b) {
    Check(GetWaveformData(src, b, 0, w.length - 1, 1, w.type, got.data()) == vardOK &&
              got == RawSamples(w, b * w.length, w.length),
          "samples of block %d differ", b);
  }
  Check(UnlockWaveform(src) == vardOK, "UnlockWaveform");
}

float FirstSample(short src) {
  float v = -1;
  GetWaveformData(src, 0, 0, 0, 1, vardFloat, &v);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  InitDataManager();
  const std::string step = argv[1];
  short src = 0;
  if (step == "verify") {
    const WaveSpec* w = vard::e2e::FindSpec(argv[2]);
    if (w) Verify(*w);
    std::printf("%s\n", !w ? "unknown waveform" : g_failure.empty() ? "ok" : g_failure.c_str());
  } else if (step == "peek") {
    short record = 0;
    double x0, xStep;
    long length = -1;
    char units[10];
    const short rc = LockWaveform(argv[2], &src);
    GetHorizontal(src, &x0, &xStep, &record, &length, units);
    UnlockWaveform(src);
    std::printf("%d %ld %d\n", rc, length, record);
  } else if (step == "hold") {
    LockWaveform(argv[2], &src);
    std::printf("%g\n", FirstSample(src));
    std::fflush(stdout);
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, "Local\\vard_waveform_peer_go");
    if (go) WaitForSingleObject(go, 20000);
    short fresh = 0;
    LockWaveform(argv[2], &fresh);
    double value = -1;
    GetWaveformValue(argv[2], 0, 0.0, &value);
    std::printf("%g %g %g\n", FirstSample(src), FirstSample(fresh), value);
  } else if (step == "write-and-hang") {
    short h = 0;
    const short samples[4] = {7, 7, 7, 7};
    OpenWaveform(argv[2], &h);
    WriteWaveform(h, 0, 3, samples);
    vard::test::SignalReadyAndHang();
  }
  ExitDataManager();
  return 0;
}
