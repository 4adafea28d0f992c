// vardctl as people run it, against the real server, each command a process
// of its own:
//
//   plot    of a 100 M-sample float waveform into an 800 × 400 PNG (target:
//           under 2 s), beside `vardctl get` of the same waveform, a run that
//           starts, connects, locks the waveform and reads its shape: the
//           floor under every command
//   export / import of a 10 M-sample waveform as CSV and as WAV (32-bit
//           float), in MB/s of file bytes (10^6 bytes per second)
//
// The benchmark holds the pool itself and builds its waveforms through the
// library; only the vardctl runs are timed. Medians over the rounds.
//   scripts/bench.sh vardctl_bench [rounds]
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "vard32.h"

using vard::bench::Median;
using vard::bench::NowSeconds;

namespace {

namespace stdfs = std::filesystem;

constexpr long kPlotSamples = 100'000'000;
constexpr long kTransferSamples = 10'000'000;
constexpr long kWriteChunk = 1 << 20;

std::string OwnFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return stdfs::path(path).parent_path().string();
}

// Runs vardctl with `args`, its output to NUL; the seconds it took, or a
// negative number when it failed.
double Vardctl(const std::string& args) {
  static const std::string program = OwnFolder() + "\\vardctl.exe";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = nul;
  si.hStdError = nul;
  std::string command = "\"" + program + "\" " + args;
  PROCESS_INFORMATION pi{};
  const double start = NowSeconds();
  DWORD status = 1;
  if (CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &status);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  const double seconds = NowSeconds() - start;
  CloseHandle(nul);
  if (status != 0) std::fprintf(stderr, "vardctl %s: exit status %lu\n", args.c_str(), status);
  return status == 0 ? seconds : -1;
}

// A float waveform of `samples`: a sine with a slow swell, X step `dx`.
bool CreateWave(const char* name, long samples, double dx) {
  if (CreateWaveform(name, vardFloat, "bench.ctl") != vardOK) return false;
  short h = 0;
  if (OpenWaveform(name, &h) != vardOK) return false;
  std::vector<float> chunk(kWriteChunk);
  bool ok = WriteHorizontal(h, 0, dx, "s") == vardOK && WriteVertical(h, 0, 1, "V") == vardOK;
  for (long first = 0; ok && first < samples; first += kWriteChunk) {
    const long n = samples - first < kWriteChunk ? samples - first : kWriteChunk;
    for (long i = 0; i < n; ++i) {
      const double t = static_cast<double>(first + i);
      chunk[static_cast<std::size_t>(i)] = static_cast<float>(0.5 * std::sin(t * 0.01) * (1 + std::sin(t * 1e-7)));
    }
    ok = WriteWaveform(h, first, first + n - 1, chunk.data()) == vardOK;
  }
  return CloseWaveform(h) == vardOK && ok;
}

struct Series {
  explicit Series(const char* w) : what(w) {}
  const char* what;
  std::vector<double> seconds;
  double bytes = 0;  // file bytes moved per run; 0: report time only
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  InitDataManager();
  DeleteSubTree("bench.ctl");
  std::printf("building a %ld- and a %ld-sample waveform...\n", kPlotSamples, kTransferSamples);
  if (!CreateWave("bench_ctl_plot", kPlotSamples, 1e-6) ||
      !CreateWave("bench_ctl_10m", kTransferSamples, 1.0 / 48000)) {
    std::fprintf(stderr, "could not build the waveforms\n");
    return 1;
  }
  const stdfs::path dir = stdfs::temp_directory_path() / ("vardctl_bench_" + std::to_string(GetCurrentProcessId()));
  stdfs::create_directories(dir);
  const std::string png = (dir / "plot.png").string(), csv = (dir / "t.csv").string(),
                    wav = (dir / "t.wav").string();

  Series get("get (start, connect, shape)"), plot("plot 100 M samples");
  Series export_csv("export CSV"), import_csv("import CSV"), export_wav("export WAV"), import_wav("import WAV");
  bool ok = true;
  for (int r = 0; r < rounds && ok; ++r) {
    const double times[] = {Vardctl("get bench_ctl_plot"), Vardctl("plot bench_ctl_plot " + png),
                            Vardctl("export bench_ctl_10m " + csv), Vardctl("import bench_ctl_csv " + csv),
                            Vardctl("export bench_ctl_10m " + wav), Vardctl("import bench_ctl_wav " + wav)};
    Series* series[] = {&get, &plot, &export_csv, &import_csv, &export_wav, &import_wav};
    for (int i = 0; i < 6; ++i) {
      ok = ok && times[i] >= 0;
      series[i]->seconds.push_back(times[i]);
    }
    DeleteVariable("bench_ctl_csv");
    DeleteVariable("bench_ctl_wav");
  }
  if (ok) {
    export_csv.bytes = import_csv.bytes = static_cast<double>(stdfs::file_size(csv));
    export_wav.bytes = import_wav.bytes = static_cast<double>(stdfs::file_size(wav));
    std::printf("%-30s %10s %10s\n", "vardctl run", "median", "MB/s");
    for (const Series* s : {&get, &plot, &export_csv, &import_csv, &export_wav, &import_wav}) {
      const double t = Median(s->seconds);
      std::printf("%-30s %8.3f s", s->what, t);
      if (s->bytes > 0) std::printf(" %10.1f", s->bytes / t / 1e6);
      std::printf("\n");
    }
    std::printf("plot beyond the floor of a run: %.3f s; CSV %.0f MB, WAV %.0f MB\n",
                Median(plot.seconds) - Median(get.seconds), export_csv.bytes / 1e6, export_wav.bytes / 1e6);
  }
  std::error_code ignored;
  stdfs::remove_all(dir, ignored);
  DeleteSubTree("bench.ctl");
  ExitDataManager();
  return ok ? 0 : 1;
}
