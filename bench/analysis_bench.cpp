// Waveform analysis over a 10-million-sample float waveform, in GB/s of
// samples read (10^9 bytes; 4 bytes per sample):
//
//   core cpu   the server's computation alone, by this thread's CPU time:
//              the analysis core on a published snapshot, in this process
//              (natively, and in the Windows build the same 32-bit code the
//              server runs), repeated until it has used half a second of CPU
//   core wall  the same, the fastest of the rounds by the clock
//   library    (Windows build) the whole call by the clock, fastest round:
//              WaveformStatistics, WaveformMinMax, WaveformFastMinMax and
//              WaveformHistogram through VARD32.dll and the real server
//   one sample the same calls' fixed cost: the round trip and the lookup
//
// On a shared machine the clock also counts the time other processes run,
// and a whole call waits twice for the scheduler (the server's thread, then
// ours); CPU time does not. The rounds alternate core and library.
//   native:  build/bench/bench/analysis_bench [samples] [rounds]
//   Windows: scripts/bench.sh analysis_bench [samples] [rounds]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "server/core/analysis.h"

#ifdef _WIN32
#include <windows.h>

#include "vard32.h"
#else
#include <ctime>
#endif

namespace {

namespace an = vard::server::analysis;
using vard::server::WaveformData;
using vard::server::WaveformWriter;

constexpr int kBins = 1000;
constexpr double kTop = 4.0, kBottom = -4.0;
constexpr char kName[] = "bench_analysis";

double Seconds() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// CPU time of this thread (in 10 ms steps under Wine: measure long batches).
double ThreadSeconds() {
#ifdef _WIN32
  FILETIME created, ended, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  auto seconds = [](FILETIME f) {
    return static_cast<double>(ULONGLONG{f.dwHighDateTime} << 32 | f.dwLowDateTime) * 1e-7;
  };
  return seconds(kernel) + seconds(user);
#else
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
#endif
}

// CPU seconds per call of f, over calls adding up to half a second at least.
double CpuPerCall(const std::function<void()>& f) {
  const double t0 = ThreadSeconds();
  double t = t0;
  int calls = 0;
  for (; calls < 3 || t - t0 < 0.5; ++calls, t = ThreadSeconds()) f();
  return (t - t0) / calls;
}

// The fastest round: on a shared machine the others measure the neighbours.
double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// A sine with some of everything: 997 samples per cycle plus a small ripple.
std::vector<float> Signal(long n) {
  std::vector<float> v(static_cast<std::size_t>(n));
  for (long i = 0; i < n; ++i)
    v[static_cast<std::size_t>(i)] =
        static_cast<float>(3 * std::sin(i * 0.0063) + 0.01 * ((i * 7919) % 101));
  return v;
}

struct Case {
  const char* what;
  std::function<void()> core, library;
  std::vector<double> core_s, library_s;
  bool per_call = false;  // report microseconds per call, not GB/s
};

}  // namespace

int main(int argc, char** argv) {
  const long samples = argc > 1 ? std::atol(argv[1]) : 10000000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
  const std::vector<float> data = Signal(samples);

  std::shared_ptr<const WaveformData> empty;
  WaveformData::Create(vardFloat, &empty);
  WaveformWriter writer(empty);
  writer.Write(0, samples - 1, data.data(), data.size() * sizeof(float));
  const auto snapshot = writer.Publish();
  an::SampleRange range;
  if (an::WholeBlock(*snapshot, 0, 1, &range) != vardOK) return 1;

  volatile double sink = 0;
  std::vector<std::int32_t> counts(kBins + 2);
  std::vector<Case> cases = {
      {"statistics", [&] { sink = an::ComputeStatistics(range).rms; }, nullptr, {}, {}},
      {"minmax", [&] { sink = an::FindExtremes(range).max_x; }, nullptr, {}, {}},
      {"fast minmax", [&] { sink = an::FindExtremesFast(range).max; }, nullptr, {}, {}},
      {"histogram", [&] { an::ComputeHistogram(range, kBottom, kTop, kBins, counts.data()); },
       nullptr, {}, {}},
  };

#ifdef _WIN32
  InitDataManager();
  DeleteVariable(kName);
  short h = 0;
  if (CreateWaveform(kName, vardFloat, "bench") != vardOK || OpenWaveform(kName, &h) != vardOK ||
      WriteWaveform(h, 0, samples - 1, data.data()) != vardOK || CloseWaveform(h) != vardOK) {
    std::fprintf(stderr, "setting up %s failed: is the real server there?\n", kName);
    return 1;
  }
  double a, b, c, d, e;
  std::vector<long> lcounts(kBins + 2);
  const double end = static_cast<double>(samples);
  cases[0].library = [&] { WaveformStatistics(kName, 0, 0, end, &a, &b, &c, &d, &e); };
  cases[1].library = [&] { WaveformMinMax(kName, 0, 0, end, &a, &b, &c, &d); };
  cases[2].library = [&] { WaveformFastMinMax(kName, 0, 0, end, &a, &b); };
  cases[3].library = [&] {
    WaveformHistogram(kName, 0, 0, end, kTop, kBottom, kBins, lcounts.data());
  };
  // The call alone: one sample, so the time is the round trip and the lookup.
  cases.push_back({"one sample", [&] { sink = an::FindExtremesFast(an::SampleRange{
                                            range.data, 0, 0, 0}).max; },
                   [&] { WaveformFastMinMax(kName, 0, 0, 0, &a, &b); }, {}, {}, true});
#endif

  auto time = [](const std::function<void()>& f) {
    const double t0 = Seconds();
    f();
    return Seconds() - t0;
  };
  for (int r = 0; r < rounds; ++r) {
    for (Case& c : cases) {
      c.core_s.push_back(time(c.core));
      if (c.library) c.library_s.push_back(time(c.library));
    }
  }

  const double gb = samples * 4.0 / 1e9;
  std::printf("%ld float samples; GB/s of samples read (wall: best of %d rounds)\n", samples,
              rounds);
  std::printf("%-12s %10s %10s %10s %8s\n", "analysis", "core cpu", "core wall", "library",
              "lib/core");
  for (const Case& c : cases) {
    if (c.per_call) {
      std::printf("%-12s %10s %10.1f %10.1f  us per call\n", c.what, "-", Best(c.core_s) * 1e6,
                  Best(c.library_s) * 1e6);
      continue;
    }
    const double cpu = gb / CpuPerCall(c.core), wall = gb / Best(c.core_s);
    if (c.library_s.empty()) {
      std::printf("%-12s %10.2f %10.2f\n", c.what, cpu, wall);
    } else {
      const double lib = gb / Best(c.library_s);
      std::printf("%-12s %10.2f %10.2f %10.2f %8.2f\n", c.what, cpu, wall, lib, lib / wall);
    }
  }
#ifdef _WIN32
  DeleteVariable(kName);
  ExitDataManager();
#endif
  return sink == 12345.0 ? 2 : 0;
}
