// The reading client of the waveform end-to-end test. It runs one step
// against the real server and prints one line on stdout:
//   verify NAME          locks NAME and checks axes, block info, every sample,
//                        reduced ranges and single values against the
//                        generator: "ok", or the first difference
//   peek NAME            locks NAME: "<code> <Length> <Record>"
//   hold NAME            locks NAME, prints sample 0, waits for the test's
//                        event, then prints sample 0 through the old lock, a
//                        new lock and GetWaveformValue
//   write-and-hang NAME  opens NAME, writes samples, signals, waits to be killed
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/peer.h"
#include "tests/windows/waveform_e2e_data.h"
#include "vard32.h"

namespace {

using vard::e2e::Physical;
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

// Element i of raw samples of the waveform's own type.
std::uint32_t Element(const WaveSpec& w, const std::vector<std::uint8_t>& raw, long i) {
  std::uint32_t v = 0;
  std::memcpy(&v, &raw[static_cast<std::size_t>(i) * w.ElementSize()], w.ElementSize());
  return v;
}

// A reduced read: per group, the raw element of the physically smallest and
// largest sample.
void CheckReduced(const WaveSpec& w, short src, short block, long first, long last, short r) {
  const long n = last - first + 1, groups = (n + r - 1) / r, base = block * w.length + first;
  std::vector<std::uint8_t> got(static_cast<std::size_t>(2 * groups) * w.ElementSize());
  const short rc = GetWaveformData(src, block, first, last, r, w.type, got.data());
  if (!Check(rc == vardOK, "reduced read of block %d answered %d", block, rc)) return;
  const auto want = RawSamples(w, base, n);
  for (long g = 0; g < groups; ++g) {
    long lo = g * r, hi = g * r;
    for (long i = g * r; i < std::min(n, (g + 1) * r); ++i) {
      lo = Physical(w, base + i) < Physical(w, base + lo) ? i : lo;
      hi = Physical(w, base + i) > Physical(w, base + hi) ? i : hi;
    }
    if (!Check(Element(w, got, 2 * g) == Element(w, want, lo) &&
                   Element(w, got, 2 * g + 1) == Element(w, want, hi),
               "reduction %d, block %d, group %ld differs", r, block, g))
      return;
  }
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
  const short last = static_cast<short>(w.blocks - 1);
  CheckReduced(w, src, last, 0, w.length - 1, 1000);
  CheckReduced(w, src, 0, 3, 50002, 7);  // groups across the library's chunks

  // Single values on and between samples: linear between neighbours, except
  // that a digital state holds until the next sample.
  for (long i : {0L, 1L, 4097L, w.length / 2, w.length - 2}) {
    for (short b : {short(0), last}) {
      for (double frac : {0.0, 0.5}) {
        double y = 0;
        const short rc = GetWaveformValue(w.name, b, w.x0 + (i + frac) * w.xStep, &y);
        const double a = Physical(w, b * w.length + i), next = Physical(w, b * w.length + i + 1);
        const double want = w.type == vardDigital ? a : a + frac * (next - a);
        Check(rc == vardOK &&
                  std::fabs(y - want) <= 1e-6 * std::max({1.0, std::fabs(a), std::fabs(next)}),
              "value at sample %ld + %g of block %d: %d %g, expected %g", i, frac, b, rc, y, want);
      }
    }
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
