// What the pool's journal costs a client: SetNumber, and a 1-million-sample
// float waveform written and closed (the close alone too), through the
// library and the real server with the journal off, "everysec" and
// "always". Each mode needs a host of its own (the journal is chosen when a
// host starts), so the host ends between modes; the modes take turns for
// several passes in one run and the medians are compared.
//   journal_bench [setnumber calls] [passes]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "server/win/host.h"
#include "vard32.h"

using vard::bench::Median;
using vard::bench::NowSeconds;

namespace {

constexpr long kSamples = 1000000;
constexpr int kWaveRounds = 3;

struct Mode {
  const char* name;
  const char* flush;  // null: no journal
  std::vector<double> set_us, close_ms, write_close_ms;
};

bool WaitForNoHost() {
  for (int waited = 0; waited < 20000; waited += 20) {
    if (!FindWindowA(vard::server::host::kHostClass, nullptr)) return true;
    Sleep(20);
  }
  return false;
}

bool Pass(Mode& m, const std::string& folder, int calls) {
  if (!WaitForNoHost()) return false;
  DeleteFileA((folder + "\\pool.journal").c_str());
  SetEnvironmentVariableA("VARD_POOL_JOURNAL", m.flush ? folder.c_str() : nullptr);
  SetEnvironmentVariableA("VARD_POOL_JOURNAL_FLUSH", m.flush);
  InitDataManager();
  bool ok = CreateNumber("bench_n", 0, "", nullptr, "bench") == vardOK &&
            CreateWaveform("bench_w", vardFloat, "bench") == vardOK;
  for (int i = 0; ok && i < 200; ++i) ok = SetNumber("bench_n", i) == vardOK;  // warm
  const double t0 = NowSeconds();
  for (int i = 0; ok && i < calls; ++i) ok = SetNumber("bench_n", i) == vardOK;
  m.set_us.push_back((NowSeconds() - t0) * 1e6 / calls);

  std::vector<float> samples(kSamples);
  for (int r = 0; ok && r < kWaveRounds; ++r) {
    for (long i = 0; i < kSamples; ++i) samples[i] = static_cast<float>(i % 977) * 0.5f + r;
    short h = 0;
    const double w0 = NowSeconds();
    ok = OpenWaveform("bench_w", &h) == vardOK &&
         WriteWaveform(h, 0, kSamples - 1, samples.data()) == vardOK;
    const double c0 = NowSeconds();
    ok = ok && CloseWaveform(h) == vardOK;
    const double c1 = NowSeconds();
    m.close_ms.push_back((c1 - c0) * 1e3);
    m.write_close_ms.push_back((c1 - w0) * 1e3);
  }
  DeleteSubTree("bench");
  ExitDataManager();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int passes = argc > 2 ? std::atoi(argv[2]) : 6;
  SetEnvironmentVariableA("VARD_POOL_LINGER_MS", "0");  // a host per mode, at once
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "vard_journal_bench";
  CreateDirectoryA(folder.c_str(), nullptr);

  Mode modes[] = {{"off", nullptr, {}, {}, {}},
                  {"everysec", "everysec", {}, {}, {}},
                  {"always", "always", {}, {}, {}}};
  for (int p = 0; p < passes; ++p) {
    for (int k = 0; k < 3; ++k) {  // each pass starts with another mode
      Mode& m = modes[(p + k) % 3];
      if (!Pass(m, folder, calls)) {
        std::fprintf(stderr, "%s: a call failed (is the real server there? a host lingering?)\n",
                     m.name);
        return 1;
      }
    }
  }
  DeleteFileA((folder + "\\pool.journal").c_str());
  RemoveDirectoryA(folder.c_str());

  const Mode& off = modes[0];
  std::printf("%-9s %14s %16s %22s\n", "journal", "SetNumber us", "close 1M ms", "write+close 1M ms");
  for (const Mode& m : modes) {
    std::printf("%-9s %8.2f x%.2f %10.2f x%.2f %14.1f x%.2f\n", m.name, Median(m.set_us),
                Median(m.set_us) / Median(off.set_us), Median(m.close_ms),
                Median(m.close_ms) / Median(off.close_ms), Median(m.write_close_ms),
                Median(m.write_close_ms) / Median(off.write_close_ms));
  }
  std::printf("targets: SetNumber x1.50, waveform write+close x1.20 (everysec)\n");
  return 0;
}
